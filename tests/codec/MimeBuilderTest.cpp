// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "CUT_MimeCodec.h"
#include "CodecTestSupport.h"
#include "ResultCode.h"

namespace {

CUT_StringList Parameters(const char *encoding, const char *type = nullptr) {
    CUT_StringList list;
    list.AddString(encoding);
    if (type != nullptr) list.AddString(type);
    return list;
}

std::string Encode(CUT_MimeCodec &codec, const std::string &body, int *result) {
    TextSource text(body);
    CUT_MemorySource out(nullptr, 60000);
    *result = codec.EncodeMessage(&*text, &out, 0);
    out.Open(OpenMode::Read);
    return std::string(out.Data(), static_cast<size_t>(out.Length()));
}

}  // namespace

TEST(MimeBuilder, WithoutAttachmentsTheBodyIsCopied) {
    CUT_MimeCodec codec;
    const std::string before = codec.GetHeaderLine(1);
    int rc = -1;
    EXPECT_EQ(Encode(codec, "just text\r\n", &rc), "just text\r\n");
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(std::string(codec.GetHeaderLine(1)), before);
    EXPECT_EQ(codec.AddAttachmentHeader("X-Early: 1"), -1);
}

TEST(MimeBuilder, Base64AttachmentHeaderAndLines) {
    CUT_MimeCodec codec;
    std::string gif;
    for (int i = 0; i < 100; ++i) gif += static_cast<char>(1 + i % 200);
    TextSource image(gif);
    CUT_StringList parameters = Parameters("1", "image/gif");
    ASSERT_EQ(codec.AddAttachment(&*image, "C:\\Bilder\\logo.gif", &parameters), 0);
    ASSERT_EQ(codec.AddAttachmentHeader("Content-ID: <logo>"), 0);
    const std::string boundary = codec.Boundary();
    int rc = -1;
    const std::string out = Encode(codec, "Hallo\r\nWelt", &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(out.rfind("This is a multi-part message in MIME format.\r\n\r\n--" + boundary + "\r\n", 0), 0u);
    EXPECT_NE(out.find("Content-Type: text/Plain; charset=US-ASCII\r\n"
                       "Content-Transfer-Encoding: Quoted-Printable\r\n\r\nHallo=0D=0AWelt"),
              std::string::npos);
    const size_t part = out.find("Content-Type: image/gif; name=\"logo.gif\"; type=Unknown\r\n"
                                 "Content-Transfer-Encoding: BASE64\r\nContent-ID: <logo>\r\n\r\n");
    ASSERT_NE(part, std::string::npos);
    const size_t data = out.find("\r\n\r\n", part) + 4;
    const size_t firstEnd = out.find("\r\n", data);
    EXPECT_EQ(firstEnd - data, 76u);
    const size_t secondEnd = out.find("\r\n", firstEnd + 2);
    const std::string last = out.substr(firstEnd + 2, secondEnd - firstEnd - 2);
    EXPECT_EQ(last.size(), 60u);  // 43 bytes: 14 groups and one of one byte
    EXPECT_EQ(last.substr(last.size() - 2), "==");
    EXPECT_EQ(out.substr(out.size() - boundary.size() - 8), "\r\n--" + boundary + "--\r\n");
    // A boundary drawn anew (from the clock: within one millisecond it may
    // come out the same), and the header line on one line now.
    EXPECT_EQ(std::string(codec.GetHeaderLine(1)),
              "Content-Type: Multipart/Mixed; boundary=\"" + std::string(codec.Boundary()) + "\"\r\n");
}

TEST(MimeBuilder, AttachmentsGoOutInReverseOrderAndRoundTrip) {
    CUT_MimeCodec codec;
    TextSource a("first attachment\r\n"), b("second \xE4 attachment"), c("third");
    CUT_StringList plain = Parameters("2", "text/x-a"), eight = Parameters("3"), binary = Parameters("4");
    ASSERT_EQ(codec.AddAttachment(&*a, "a.txt", &plain), 0);
    ASSERT_EQ(codec.AddAttachment(&*b, "b.txt", &eight), 0);
    ASSERT_EQ(codec.AddAttachment(&*c, "c.bin", &binary), 0);
    const std::string boundary = codec.Boundary();
    int rc = -1;
    const std::string body = "Der Text der Nachricht, mit Umlaut \xFC und einer Zeile, die l\xE4nger ist "
                             "als dreiundsiebzig Zeichen, damit ein weicher Umbruch entsteht.\r\nEnde";
    const std::string out = Encode(codec, body, &rc);
    ASSERT_EQ(rc, 0);
    const size_t pc = out.find("name=\"c.bin\"; type=Unknown"), pb = out.find("8BIT"), pa = out.find("text/x-a");
    ASSERT_NE(pc, std::string::npos);
    EXPECT_LT(pc, pb);
    EXPECT_LT(pb, pa);
    for (size_t start = 0, end; (end = out.find("\r\n", start)) != std::string::npos; start = end + 2)
        EXPECT_LE(end - start, 76u) << out.substr(start, end - start);

    // Parsed back: the body text and the attachments' bytes.
    const std::string message = "From: a@b\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"" +
                                boundary + "\"\r\n\r\n" + out;
    ParsedMessage<CUT_MimeCodec> parsed(message);
    ASSERT_EQ(parsed.result, 0);
    ASSERT_EQ(parsed.codec.GetAttachmentCount(), 4);
    EXPECT_EQ(parsed.Decode(1, &rc), "third");
    EXPECT_EQ(parsed.Decode(2, &rc), "second \xE4 attachment");
    EXPECT_EQ(parsed.Decode(3, &rc), "first attachment\r\n");
    EXPECT_EQ(parsed.Text(&rc), body);
}

TEST(MimeBuilder, ASevenBitWriterRefusesHighBytesAndTheMessageStillCloses) {
    CUT_MimeCodec codec;
    TextSource later("later"), bad("caf\xE9");
    CUT_StringList sevenBit = Parameters("0"), base64 = Parameters("1");
    ASSERT_EQ(codec.AddAttachment(&*later, "later.txt", &base64), 0);
    ASSERT_EQ(codec.AddAttachment(&*bad, "bad.txt", &sevenBit), 0);  // written first
    const std::string boundary = codec.Boundary();
    int rc = -1;
    const std::string out = Encode(codec, "x", &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_NE(out.find("Content-Transfer-Encoding: 7BIT\r\n\r\n"), std::string::npos);
    EXPECT_EQ(out.find("caf"), std::string::npos);
    EXPECT_EQ(out.find("later.txt"), std::string::npos);
    EXPECT_EQ(out.substr(out.size() - boundary.size() - 8), "\r\n--" + boundary + "--\r\n");
    CUT_StringList outOfRange = Parameters("9");
    ASSERT_EQ(codec.AddAttachment(&*later, nullptr, &outOfRange), 0);
    EXPECT_EQ(codec.Part(0)->encoding, TE_BASE64);
}
