// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "CUT_UUCodec.h"
#include "CodecTestSupport.h"
#include "ResultCode.h"

namespace {

const char *kHeader = "From: a@b\r\nSubject: file\r\n\r\n";

using Parsed = ParsedMessage<CUT_UUCodec>;

// "hallo\n" uuencoded.
const char *kBlock = "begin 644 a.zip\r\n&:&%L;&\\*\r\n`\r\nend\r\n";

}  // namespace

TEST(UUCodec, TextBeforeA644Block) {
    Parsed m(std::string(kHeader) + "Here it is.\r\n\r\n" + kBlock);
    ASSERT_EQ(m.result, 0);
    ASSERT_EQ(m.codec.GetAttachmentCount(), 1);
    EXPECT_EQ(m.codec.Attachment(0)->name, "a.zip");
    int rc = -1;
    EXPECT_EQ(m.Text(&rc), "Here it is.\r\n\r\n");
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(m.Decode(0, &rc), "hallo\n");
    EXPECT_EQ(rc, 0);
    char name[8] = {}, type[4] = "xx";
    EXPECT_EQ(m.codec.GetAttachmentInfo(0, name, sizeof name, type, 4, nullptr), 0);
    EXPECT_STREQ(name, "a.zip");
    EXPECT_STREQ(type, "");
    EXPECT_EQ(m.codec.GetAttachmentInfo(0, nullptr, 8, type, 4, nullptr), 1);
}

TEST(UUCodec, BeginInsideWordsCutsTheTextAndAddsAnEntry) {
    Parsed m(std::string(kHeader) + "To BEGINners: see below.\r\n" + kBlock);
    ASSERT_EQ(m.result, 0);
    ASSERT_EQ(m.codec.GetAttachmentCount(), 2);
    EXPECT_EQ(m.codec.Attachment(0)->name, "");
    EXPECT_EQ(m.codec.Attachment(1)->name, "a.zip");
    int rc = -1;
    EXPECT_EQ(m.Text(&rc), "To ");
    // A later "begin" with no "end" at a line end after it: not this codec's.
    Parsed open(std::string(kHeader) + kBlock + "Let us begin again tomorrow.\r\n");
    EXPECT_EQ(open.result, 1);
    Parsed mode755(std::string(kHeader) + "begin 755 run.sh\r\n&:&%L;&\\*\r\n`\r\nend\r\n");
    EXPECT_EQ(mode755.result, 1);
    Parsed octal(std::string(kHeader) + "begin 0666 b\r\n!80``\r\n`\r\nend\r\n");
    EXPECT_EQ(octal.result, 0);
}

TEST(UUCodec, DataLinesDecodeByTheirLengthCharacter) {
    Parsed one(std::string(kHeader) + "begin 644 one\r\n!80``\r\n`\r\nend\r\n");
    int rc = -1;
    EXPECT_EQ(one.Decode(0, &rc), "a");
    EXPECT_EQ(rc, 0);
    Parsed bareEnd(std::string(kHeader) + "begin 644 x\r\n&:&%L;&\\*\r\nend\r\n");
    EXPECT_EQ(bareEnd.result, 0);
    EXPECT_EQ(bareEnd.Decode(0, &rc), "hallo\n");
    EXPECT_EQ(rc, 0);
    // The data runs to the end of the copy: what was decoded stays.
    Parsed running(std::string(kHeader) + "begin 644 x\r\n&:&%L;&\\*\r\nend\r\n&:&%L;&\\*\r\n");
    running.codec.ClearAttachments();
    ASSERT_EQ(running.result, 0);
    EXPECT_EQ(bareEnd.Decode(5, &rc), "");
    EXPECT_EQ(rc, RC_NO_SUCH_ENTRY);
}

TEST(UUCodec, DecodingThatRunsOutOfDataGives33) {
    // The "end" the parse found is inside a word: that line is decoded as
    // data too, and then the data runs out; what was decoded stays.
    Parsed m(std::string(kHeader) + "begin 644 x\r\n&:&%L;&\\*\r\n&:&%L;&\\*\r\nweekend\r\n");
    ASSERT_EQ(m.result, 0);
    int rc = -1;
    EXPECT_EQ(m.Decode(0, &rc).substr(0, 12), "hallo\nhallo\n");
    EXPECT_EQ(rc, RC_DATA_ENDED);
}

TEST(UUCodec, EncodingRoundTrips) {
    std::string data;
    // Memory sources hold text: no NUL bytes in the file.
    for (int i = 0; i < 200; ++i) data += static_cast<char>((i * 37) % 255 + 1);
    TextSource file(data);
    CUT_UUCodec encoder;
    EXPECT_STREQ(encoder.GetName(), "UUEncode");
    ASSERT_EQ(encoder.AddAttachment(&*file, "C:\\Temp\\data.bin", nullptr), 0);
    TextSource body("From: a@b\r\nSubject: x\r\n\r\nSee the file.");
    CUT_MemorySource out(nullptr, 4000);
    ASSERT_EQ(encoder.EncodeMessage(&*body, &out, 0), 0);
    out.Open(OpenMode::Read);
    const std::string encoded(out.Data(), static_cast<size_t>(out.Length()));
    EXPECT_NE(encoded.find("See the file.\r\n\r\nbegin 660 data.bin\r\nM"), std::string::npos);
    EXPECT_EQ(encoded.substr(encoded.size() - 5), "end\r\n");

    Parsed back(encoded);
    ASSERT_EQ(back.result, 0);
    ASSERT_EQ(back.codec.GetAttachmentCount(), 1);
    EXPECT_EQ(back.codec.Attachment(0)->name, "data.bin");
    int rc = -1;
    EXPECT_EQ(back.Decode(0, &rc), data);
    EXPECT_EQ(rc, 0);
    unsigned char zeros[3] = {0, 0, 0};
    char quad[4];
    CUT_UUCodec::EncodeUUTriple(zeros, quad);
    EXPECT_EQ(std::string(quad, 4), "````");
}

TEST(UUCodec, FilesOfAnySizeRoundTripEmptyOnesToo) {
    for (int size : {0, 1, 2, 3, 44, 45, 46, 90}) {
        SCOPED_TRACE(size);
        std::string data;
        for (int i = 0; i < size; ++i) data += static_cast<char>('a' + i % 26);
        TextSource file(data);
        CUT_UUCodec encoder;
        ASSERT_EQ(encoder.AddAttachment(&*file, "f.bin", nullptr), 0);
        TextSource body("Subject: x\r\n\r\nfile:");
        CUT_MemorySource out(nullptr, 4000);
        ASSERT_EQ(encoder.EncodeMessage(&*body, &out, 0), 0);
        const std::string encoded = Contents(out);
        EXPECT_EQ(encoded.substr(encoded.size() - 8), "`\r\nend\r\n");
        Parsed back(encoded);
        ASSERT_EQ(back.codec.GetAttachmentCount(), 1);
        int rc = -1;
        EXPECT_EQ(back.Decode(0, &rc), data);
        EXPECT_EQ(rc, 0);
    }
    // As other encoders write an empty file: "end" right after "begin".
    Parsed bare(std::string(kHeader) + "begin 644 e.bin\r\nend\r\n");
    int rc = -1;
    EXPECT_EQ(bare.Decode(0, &rc), "");
    EXPECT_EQ(rc, 0);
}
