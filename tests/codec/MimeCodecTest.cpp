// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CUT_MimeCodec.h"
#include "CodecTestSupport.h"
#include "ResultCode.h"

namespace {

const char *kHeader = "From: a@b\r\nMIME-Version: 1.0\r\n";

std::string Multipart(const std::string &type, const std::string &parts,
                      const std::string &boundary = "XYZ") {
    return std::string(kHeader) + "Content-Type: " + type + "; boundary=\"" + boundary +
           "\"\r\n\r\npreamble\r\n" + parts;
}

struct Parsed : ParsedMessage<CUT_MimeCodec> {
    using ParsedMessage::ParsedMessage;
    std::string Type(int index) { return codec.Part(index) ? codec.Part(index)->contentType : "-"; }
};

}  // namespace

TEST(MimeCodec, RecognisesTheVersionHeaderExactlyButForCase) {
    Parsed plain("Subject: x\r\n\r\nbody\r\n");
    EXPECT_EQ(plain.result, 1);
    Parsed noBlank("MIME-Version:1.0\r\nContent-Type: text/plain\r\n\r\nbody\r\n");
    EXPECT_EQ(noBlank.result, 1);
    Parsed lower("mime-version: 1.0 (generated)\r\nContent-Type: text/plain\r\n\r\nbody\r\n");
    EXPECT_EQ(lower.result, 0);
    Parsed unknown(std::string(kHeader) + "Content-Type: chemical/x-pdb\r\n\r\nbody\r\n");
    EXPECT_EQ(unknown.result, 1);
    EXPECT_EQ(unknown.codec.MediaTypeOf(), MT_OTHER);
    Parsed noHeaderEnd(std::string(kHeader) + "Content-Type: text/plain\r\n");
    EXPECT_EQ(noHeaderEnd.result, 0 + 1);
}

TEST(MimeCodec, SinglePartQuotedPrintableText) {
    Parsed m(std::string(kHeader) +
             "Content-Type: text/plain; charset=\"iso-8859-1\"\r\n"
             "Content-Transfer-Encoding: quoted-printable\r\n\r\n"
             "Gr=FC=DFe, A=3DB, weich=\r\numbrochen=20\r\nEnde=\r\n");
    ASSERT_EQ(m.result, 0);
    EXPECT_EQ(m.codec.MediaTypeOf(), MT_TEXT);
    EXPECT_EQ(m.codec.MediaSubtypeOf(), MS_ANY_TEXT);
    ASSERT_EQ(m.codec.GetAttachmentCount(), 1);
    EXPECT_EQ(m.codec.Part(0)->charset, "iso-8859-1");
    EXPECT_EQ(m.codec.Part(0)->encoding, TE_QUOTED_PRINTABLE);
    int rc = -1;
    EXPECT_EQ(m.Text(&rc), "Gr\xFC\xDF" "e, A=B, weichumbrochen \r\nEnde");
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(m.codec.GetAttachmentCount(), 0);  // the text part is consumed
}

TEST(MimeCodec, QuotedPrintableWantsUpperCaseHex) {
    Parsed m(std::string(kHeader) + "Content-Type: text/plain\r\n"
             "Content-Transfer-Encoding: QUOTED-PRINTABLE\r\n\r\n=3d=41\r\n");
    int rc = -1;
    EXPECT_EQ(m.Text(&rc), std::string(1, static_cast<char>(93)) + "A\r\n");
}

TEST(MimeCodec, AlternativeTakesTheFirstTextPart) {
    Parsed m(Multipart("multipart/alternative",
                       "--XYZ\r\nContent-Type: text/html; charset=utf-8\r\n\r\n<p>Hallo</p>\r\n"
                       "--XYZ\r\nContent-Type: text/plain\r\n\r\nHallo\r\n--XYZ--\r\n"));
    ASSERT_EQ(m.result, 0);
    EXPECT_EQ(m.codec.MediaSubtypeOf(), MS_ALTERNATIVE);
    EXPECT_STREQ(m.codec.Delimiter(), "\r\n--XYZ");
    ASSERT_EQ(m.codec.GetAttachmentCount(), 2);
    EXPECT_EQ(m.Type(0), "text/html");
    EXPECT_EQ(m.Type(1), "text/plain");
    int rc = -1;
    EXPECT_EQ(m.Text(&rc), "<p>Hallo</p>");  // html first: no preference for plain
    EXPECT_EQ(m.Text(&rc), "Hallo");
    EXPECT_EQ(m.Text(&rc), "");
    EXPECT_EQ(rc, 0);
}

TEST(MimeCodec, MixedWithNestedAlternativeListsTheInnerPartsTwice) {
    const std::string inner =
        "Content-Type: multipart/alternative; boundary=\"IN\"\r\n\r\n"
        "--IN\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n\r\n"
        "SGFsbG8gV2VsdA==\r\n"
        "--IN\r\nContent-Type: text/html\r\n\r\n<b>Hallo</b>\r\n--IN--\r\n";
    Parsed m(Multipart("multipart/mixed",
                       "--XYZ\r\n" + inner +
                           "--XYZ\r\nContent-Type: application/pdf; name=\"a.pdf\"\r\n"
                           "Content-Transfer-Encoding: base64\r\n\r\nJVBERi0=\r\n--XYZ--\r\n"));
    ASSERT_EQ(m.result, 0);
    ASSERT_EQ(m.codec.GetAttachmentCount(), 5);
    EXPECT_EQ(m.Type(0), "application/pdf");
    EXPECT_EQ(m.codec.Part(0)->name, "a.pdf");
    EXPECT_EQ(m.Type(1), "text/plain");
    EXPECT_EQ(m.Type(2), "text/html");
    EXPECT_EQ(m.Type(3), "text/plain");
    EXPECT_EQ(m.Type(4), "text/html");
    int rc = -1;
    EXPECT_EQ(m.Decode(0, &rc), "%PDF-");
    EXPECT_EQ(m.Text(&rc), "Hallo Welt");
    EXPECT_EQ(rc, 0);
    char name[16] = {}, type[32] = {};
    CUT_StringList parameters;
    EXPECT_EQ(m.codec.GetAttachmentInfo(0, name, sizeof name, type, sizeof type, &parameters), 0);
    EXPECT_STREQ(name, "a.pdf");
    EXPECT_STREQ(type, "application/pdf");
    EXPECT_STREQ(parameters.GetString(0), "1");
    EXPECT_EQ(m.codec.GetAttachmentInfo(9, name, 16, type, 32, nullptr), 1);
}

TEST(MimeCodec, PartHeadersDecideWhatCountsAsText) {
    Parsed m(Multipart("multipart/mixed",
                       "--XYZ\r\nContent-Type: text/plain; name=\"notes.txt\"\r\n\r\nnamed\r\n"
                       "--XYZ\r\nContent-Type: text/plain\r\nContent-Disposition: inline\r\n\r\ninline\r\n"
                       "--XYZ\r\nContent-ID: <x@y>\r\nContent-Type: text/plain; charset=\"utf-8\"\r\n\r\nid first\r\n"
                       "--XYZ\r\nX-Other: 1\r\n\r\nno content lines\r\n"
                       "--XYZ\r\nContent-Transfer-Encoding: base64\r\nContent-Type: image/gif; name=\"b.gif\"\r\n\r\nR0lG\r\n"
                       "--XYZ--\r\n"));
    ASSERT_EQ(m.result, 0);
    ASSERT_EQ(m.codec.GetAttachmentCount(), 5);
    EXPECT_EQ(m.codec.Part(0)->name, "notes.txt");
    EXPECT_EQ(m.Type(1), "inline");  // the disposition line replaced the type
    EXPECT_EQ(m.Type(2), "text/plain");
    EXPECT_EQ(m.codec.Part(2)->charset, "utf-8");
    EXPECT_EQ(m.Type(3), "Text/Plain");
    EXPECT_EQ(m.codec.Part(3)->charset, "US-ASCII");
    EXPECT_EQ(m.codec.Part(3)->encoding, TE_SEVEN_BIT);
    EXPECT_EQ(m.Type(4), "image/gif");
    EXPECT_EQ(m.codec.Part(4)->name, "b.gif");
    int rc = -1;
    EXPECT_EQ(m.Text(&rc), "id first");
}

TEST(MimeCodec, UnreadableStructuresGiveNoParts) {
    Parsed unquoted(std::string(kHeader) +
                    "Content-Type: multipart/mixed; boundary=XYZ\r\n\r\n--XYZ\r\n\r\ntext\r\n--XYZ--\r\n");
    EXPECT_EQ(unquoted.codec.GetAttachmentCount(), 0);
    Parsed cut(Multipart("multipart/mixed",
                         "--XYZ\r\nContent-Type: text/plain\r\n\r\nthe TOP limit cut this part"));
    ASSERT_EQ(cut.result, 0);
    EXPECT_EQ(cut.codec.GetAttachmentCount(), 0);
    int rc = -1;
    EXPECT_EQ(cut.Text(&rc), "");
    EXPECT_EQ(rc, 0);
    Parsed image(std::string(kHeader) + "Content-Type: image/gif\r\n"
                 "Content-Transfer-Encoding: base64\r\n\r\nR0lGODlh\r\n");
    EXPECT_EQ(image.result, 0);
    EXPECT_EQ(image.Text(&rc), "");
    // A boundary longer than the delimiter can hold is refused whole.
    Parsed longBoundary(Multipart("multipart/mixed", "--" + std::string(96, 'b') + "\r\n\r\nx\r\n",
                                  std::string(96, 'b')));
    EXPECT_EQ(longBoundary.result, 1);
    Parsed fits(Multipart("multipart/mixed",
                          "--" + std::string(95, 'b') + "\r\n\r\nx\r\n--" + std::string(95, 'b') + "--",
                          std::string(95, 'b')));
    EXPECT_EQ(fits.result, 0);
    EXPECT_EQ(fits.codec.GetAttachmentCount(), 1);
}

TEST(MimeCodec, Base64IgnoresLineBreaksAndBlanks) {
    const std::string body = "SGF sbG8\r\ngV2V\r\n\r\nsdC\r\n E=\r\n";
    Parsed m(std::string(kHeader) + "Content-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n\r\n" + body);
    int rc = -1;
    EXPECT_EQ(m.Text(&rc), "Hallo Welt!");
    Parsed one(std::string(kHeader) + "Content-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n\r\nQQ==QUI=\r\n");
    EXPECT_EQ(one.Text(&rc), "AAB");
    // Groups run across the 511-byte read blocks.
    std::string big;
    for (int i = 0; i < 300; ++i) big += "QUJD";
    Parsed blocks(std::string(kHeader) + "Content-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n\r\n" + big);
    std::string expected;
    for (int i = 0; i < 300; ++i) expected += "ABC";
    EXPECT_EQ(blocks.Text(&rc), expected);
}

TEST(MimeCodec, BinHexAndFullSinksFail) {
    Parsed binhex(std::string(kHeader) + "Content-Type: text/plain\r\n"
                  "Content-Transfer-Encoding: x-binhex40\r\n\r\n(This file must be converted)\r\n");
    // "x-binhex40" is no table token: a plain copy.
    int rc = -1;
    EXPECT_EQ(binhex.Text(&rc), "(This file must be converted)\r\n");
    Parsed real(std::string(kHeader) + "Content-Type: text/plain\r\n"
                "Content-Transfer-Encoding: binhex40\r\n\r\n:data:\r\n");
    EXPECT_EQ(real.Text(&rc), "");
    EXPECT_EQ(rc, -1);

    Parsed big(std::string(kHeader) + "Content-Type: text/plain\r\n\r\n" + std::string(500, 'x'));
    std::string text = DecodeInto([&](CUT_MemorySource &sink) { return big.codec.ExtractText(sink, 0); },
                                  &rc, 100);
    EXPECT_EQ(rc, RC_SOURCE_WRITE_FAILED);
    EXPECT_EQ(text.size(), 100u);
    EXPECT_EQ(big.codec.DecodeAttachment(0, *TextSource("x"), 0), RC_NO_SUCH_ENTRY);
}

TEST(MimeCodec, MakeBoundaryAndTheEncodingHeaderLines) {
    char boundary[30];
    EXPECT_EQ(CUT_MimeCodec::MakeBoundary(boundary, 19), -1);
    EXPECT_EQ(CUT_MimeCodec::MakeBoundary(boundary, 71), -2);
    ASSERT_EQ(CUT_MimeCodec::MakeBoundary(boundary, 30), 0);
    EXPECT_EQ(std::string(boundary).size(), 29u);
    EXPECT_EQ(std::string(boundary).substr(0, 6), "Mark=_");
    EXPECT_EQ(std::string(boundary).find('/'), std::string::npos);
    CUT_MimeCodec codec;
    EXPECT_STREQ(codec.GetName(), "Mime");
    ASSERT_EQ(codec.GetHeaderLineCount(), 2);
    EXPECT_STREQ(codec.GetHeaderLine(0), "MIME-Version: 1.0\r\n");
    EXPECT_EQ(std::string(codec.GetHeaderLine(1)),
              "Content-Type: Multipart/Mixed;\r\n\tboundary=\"" + std::string(codec.Boundary()) + "\"\r\n");
}

TEST(MimeCodec, PartsWithHeadersAndNoBodyDecodeAsEmpty) {
    struct Case {
        const char *name;
        std::string parts;
        int index;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"empty attachment before text",
         "--XYZ\r\nContent-Type: application/octet-stream; name=\"e.bin\"\r\n"
         "Content-Transfer-Encoding: base64\r\n\r\n--XYZ\r\nContent-Type: text/plain\r\n\r\nhi\r\n"
         "--XYZ--\r\n",
         0, ""},
        {"empty text part", "--XYZ\r\nContent-Type: text/plain\r\n\r\n--XYZ--\r\n", 0, ""},
        {"blank line then body", "--XYZ\r\nContent-Type: text/plain\r\n\r\n\r\n--XYZ--\r\n", 0, ""},
        {"text after an empty part",
         "--XYZ\r\nContent-Type: text/plain\r\n\r\n--XYZ\r\nContent-Type: text/plain\r\n\r\nhi\r\n"
         "--XYZ--\r\n",
         1, "hi"},
        // No headers and no body: the next delimiter follows at once.
        {"no headers, no body", "--XYZ\r\n--XYZ\r\nContent-Type: text/plain\r\n\r\nhi\r\n--XYZ--\r\nepilogue\r\n",
         0, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Parsed message(Multipart("multipart/mixed", c.parts));
        ASSERT_EQ(message.result, 0);
        int rc = -1;
        EXPECT_EQ(message.Decode(c.index, &rc), c.expected);
        EXPECT_EQ(rc, 0);
    }
}
