// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "CUT_MailMessage.h"
#include "CUT_MemorySource.h"
#include "ResultCode.h"

namespace {

std::string Body(const std::string &text, ResultCode *result = nullptr, int *codec = nullptr) {
    CUT_MemorySource source(nullptr, 32000);
    source.Open(OpenMode::Write);
    source.Write(text.data(), static_cast<int>(text.size()));
    source.Close();
    CUT_MailMessage message;
    ResultCode rc = message.LoadFromSource(source);
    if (result != nullptr) *result = rc;
    if (codec != nullptr) *codec = message.CodecInUse();
    return message.GetBodyText();
}

}  // namespace

TEST(TextExtraction, EachKindOfMessageGetsItsText) {
    // No codec: the raw lines.
    EXPECT_EQ(Body("Subject: x\r\n\r\na\r\nb\r\n"), "a\r\nb\r\n");
    // Single-part MIME, decoded.
    EXPECT_EQ(Body("Subject: x\r\nMIME-Version: 1.0\r\nContent-Type: text/plain\r\n"
                   "Content-Transfer-Encoding: quoted-printable\r\n\r\nGr=FC=DFe\r\n"),
              "Gr\xFC\xDF" "e\r\n");
    // Mixed with a named attachment first: the second part's text.
    int codec = -1;
    EXPECT_EQ(Body("MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"B\"\r\n\r\n"
                   "--B\r\nContent-Type: application/zip; name=\"x.zip\"\r\n\r\nPK\r\n"
                   "--B\r\nContent-Type: text/plain\r\n\r\nthe text\r\n--B--\r\n",
                   nullptr, &codec),
              "the text");
    EXPECT_EQ(codec, 1);
    // Cut off before the delimiter that ends the text part: empty.
    EXPECT_EQ(Body("MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"B\"\r\n\r\n"
                   "--B\r\nContent-Type: text/plain\r\n\r\nline 1\r\nline 2\r\n"),
              "");
    // UU, even with a MIME header: the text before "begin".
    EXPECT_EQ(Body("MIME-Version: 1.0\r\nContent-Type: text/plain\r\n\r\nZwei Zeilen\r\nText\r\n"
                   "begin 644 bild.jpg\r\n&:&%L;&\\*\r\n`\r\nend\r\n",
                   nullptr, &codec),
              "Zwei Zeilen\r\nText\r\n");
    EXPECT_EQ(codec, 0);
    // Mode 755: no UU; here plain, so the raw lines.
    EXPECT_EQ(Body("Subject: x\r\n\r\nbegin 755 x\r\n&:&%L;&\\*\r\nend\r\n"),
              "begin 755 x\r\n&:&%L;&\\*\r\nend\r\n");
    // A codec accepts but its extraction fails: the raw lines.
    EXPECT_EQ(Body("MIME-Version: 1.0\r\nContent-Type: text/plain\r\n"
                   "Content-Transfer-Encoding: binhex40\r\n\r\n:data:\r\n"),
              ":data:\r\n");
}

TEST(TextExtraction, ExtractedTextIsCutAtTheBodyBuffer) {
    std::string text = "MIME-Version: 1.0\r\nContent-Type: text/plain\r\n\r\n";
    text += std::string(40000, 'z');
    CUT_MemorySource source(nullptr, 50000);
    source.Open(OpenMode::Write);
    source.Write(text.data(), static_cast<int>(text.size()));
    CUT_MailMessage message;
    // The sink took fewer bytes than decoded: the raw body (cut, 35) instead.
    EXPECT_EQ(message.LoadFromSource(source), RC_BUFFER_TOO_SMALL);
    EXPECT_LT(std::string(message.GetBodyText()).size(), 32768u);
}
