// SPDX-License-Identifier: GPL-3.0-or-later
// The preview shows the message's own words: the first text part, also
// when the fetched lines end inside it, decoded and in UTF-8.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CUT_DisplayHeader.h"
#include "CUT_MessagePreview.h"

namespace {

std::string Multipart(const std::string &type, const std::string &body) {
    return "From: a@b\r\nMIME-Version: 1.0\r\nContent-Type: " + type +
           "; boundary=\"XY\"\r\n\r\nThis is a multi-part message in MIME format.\r\n" + body;
}

}  // namespace

TEST(MessagePreview, FindsDecodesAndConvertsTheFirstTextPart) {
    struct Case {
        const char *name;
        std::string message;
        std::string expected;
    };
    const std::string alternative =
        "--XY\r\nContent-Type: text/html\r\n\r\n<p>HTML zuerst</p>\r\n"
        "--XY\r\nContent-Type: text/plain; charset=utf-8\r\n\r\nText zuerst\r\n--XY--\r\n";
    const std::vector<Case> cases = {
        {"plain single part", "Subject: x\r\n\r\nHallo Welt,\r\nzweite Zeile\r\n", "Hallo Welt,\nzweite Zeile"},
        {"quoted-printable cut after a soft break",
         "Content-Type: text/plain; charset=iso-8859-1\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
         "Gr=FC=DFe aus K=f6ln, ein langer Sat=\r\nz geht weiter=\r\n",
         "Grüße aus Köln, ein langer Satz geht weiter"},
        {"base64 cut inside a group",
         "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n\r\n"
         "SGFsbG8gV2VsdCwgaGllciBrb21tdCBtZWhy\r\nIFRleHQ=\r\nAAB",
         "Hallo Welt, hier kommt mehr Text"},
        {"alternative prefers plain text", Multipart("multipart/alternative", alternative), "Text zuerst"},
        {"nested alternative inside mixed, cut before its end",
         Multipart("multipart/mixed",
                   "--XY\r\nContent-Type: multipart/alternative; boundary=inner\r\n\r\n"
                   "--inner\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
                   "Innen =E4 und mehr\r\nZeile zwei\r\n"),
         "Innen ä und mehr\nZeile zwei"},
        {"HTML only, without style and script",
         "Content-Type: text/html; charset=windows-1252\r\n\r\n<html><head><style>p{color:red}</style>"
         "<script>var x=1;</script></head><body><p>Erste&nbsp;Zeile &amp; mehr</p>\r\n"
         "<div>zweite   \r\n   Zeile<br>dritte \x80</div></body></html>\r\n",
         "Erste\xC2\xA0Zeile & mehr\nzweite Zeile\ndritte €"},
        {"charset parameters",
         Multipart("multipart/mixed",
                   "--XY\r\nContent-Type: text/plain; charset=\"koi8-r\"\r\n\r\n\xF0\xD2\xC9\xD7\xC5\xD4\r\n--XY--\r\n"),
         "Привет"},
        {"Shift_JIS", "Content-Type: text/plain; charset=Shift_JIS\r\n\r\n\x82\xb1\x82\xf1\x82\xc9\x82\xbf\x82\xcd\r\n",
         "こんにちは"},
        {"ISO-8859-2", "Content-Type: text/plain; charset=ISO-8859-2\r\n\r\n\xA3\xF3" "d\xBC\r\n", "Łódź"},
        {"attachment first, text second",
         Multipart("multipart/mixed",
                   "--XY\r\nContent-Type: application/pdf; name=a.pdf\r\nContent-Transfer-Encoding: base64\r\n"
                   "Content-Disposition: attachment; filename=a.pdf\r\n\r\nJVBERi0x\r\n"
                   "--XY\r\nContent-Type: text/plain\r\n\r\nDer Text\r\n--XY--\r\n"),
         "Der Text"},
        {"attachment only",
         Multipart("multipart/mixed",
                   "--XY\r\nContent-Type: application/pdf; name=\"rechnung.pdf\"\r\n"
                   "Content-Transfer-Encoding: base64\r\n\r\nJVBERi0xLjQK\r\n"),
         "[Anhang: rechnung.pdf]"},
        {"uuencoded", "Subject: file\r\n\r\nHere is the file.\r\n\r\nbegin 644 a.zip\r\n&:&%L;&\\*\r\n`\r\nend\r\n",
         "Here is the file."},
        {"header cut before its end", "Subject: x\r\nReceived: from", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CUT_MessagePreview::Build(c.message), c.expected);
    }
}

TEST(MessagePreview, HeadersShowAsAReaderShowsThem) {
    struct Case {
        std::string value;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {" =?utf-8?B?0LzQuA==?= =?utf-8?B?0YA=?=", " мир"},
        {" =?gb2312?B?xOM=?=\r\n =?gb2312?B?usM=?=", " 你好"},
        {" =?iso-8859-1?Q?Gr=FC=DFe?= aus =?koi8-r?B?8NLJ18XU?=", " Grüße aus Привет"},
        {" =?UTF-8?Q?a_b?=  =?UTF-8?Q?c?= d", " a bc d"},
        {" Caf\xE9 plain", " Café plain"},
        {" =?broken word", " =?broken word"},
    };
    for (const Case &c : cases) EXPECT_EQ(CUT_DisplayHeader::Decode(c.value), c.expected) << c.value;
}
