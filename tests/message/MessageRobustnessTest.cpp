// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <unistd.h>

#include <random>
#include <cstring>
#include <string>

#include "CUT_FileSource.h"
#include "CUT_HeaderDecoder.h"
#include "MessageTestSupport.h"
#include "TestFiles.h"

namespace {

// What the scan does with every message: load it, look up the three fields,
// decode the values; asserts the limits hold.
void Exercise(const std::string &text) {
    CUT_MailMessage message;
    LoadText(message, text);
    char value[1000];
    for (const char *name : {"From:", "Subject:", "Message-Id:"}) {
        if (message.GetHeaderByName(name, value, sizeof value)) {
            ASSERT_LT(std::strlen(value), sizeof value);
            CUT_HeaderDecoder decoder;
            const char *flag = nullptr;
            const char *decoded = decoder.DecodeHeader(value, &flag);
            if (decoded != nullptr) {
                ASSERT_LE(std::strlen(decoded), std::strlen(value));
            }
        }
    }
    ASSERT_LT(std::strlen(message.GetBodyText()),
              static_cast<size_t>(CUT_MailMessage::BodyCapacity));
}

}  // namespace

TEST(MessageRobustness, SampleMessagesLoadAsExpected) {
    std::vector<std::string> files = SampleMessages();
    ASSERT_GE(files.size(), 8u);
    for (const std::string &path : files) {
        SCOPED_TRACE(path);
        Exercise(ToCrLf(ReadBinaryFile(path)));
    }
    CUT_MailMessage message;
    LoadText(message, ToCrLf(ReadBinaryFile(files[2])));  // base64 words from a UTF-8 mailer
    CUT_HeaderDecoder decoder;
    const char *flag = nullptr;
    // The fold's blank survives the join and stands between the words, next
    // to the blank the second word encodes itself.
    EXPECT_STREQ(decoder.DecodeHeader(Lookup(message, "Subject:").c_str(), &flag),
                 " Re: Recibo de la factura  n\xC2\xBA 2026-047");
    LoadText(message, ToCrLf(ReadBinaryFile(files[4])));  // odd Message-Ids
    EXPECT_EQ(Lookup(message, "Message-Id:"),
              " 1234.5678@shop.example <folded-id/with/slashes@shop.example>");
    EXPECT_EQ(message.CountHeaders("To :"), 1);
    EXPECT_STREQ(message.GetBodyText(), "Vielen Dank.\r\n");
}

TEST(MessageRobustness, FileSourceGivesTheSameEntriesAsMemory) {
    for (const std::string &path : SampleMessages()) {
        SCOPED_TRACE(path);
        std::string text = ReadBinaryFile(path);
        CUT_MailMessage fromMemory;
        LoadText(fromMemory, ToCrLf(text));
        // A file with CR LF ends, read through the look-ahead.
        char name[] = "/tmp/pelloru-msg-XXXXXX";
        int fd = ::mkstemp(name);
        ASSERT_GE(fd, 0);
        std::string crlf = ToCrLf(text);
        ASSERT_EQ(::write(fd, crlf.data(), crlf.size()), static_cast<ssize_t>(crlf.size()));
        ::close(fd);
        CUT_FileSource file(name);
        CUT_MailMessage fromFile;
        EXPECT_EQ(fromFile.LoadFromSource(file), RC_OK);
        ::unlink(name);
        ASSERT_EQ(fromFile.Headers().size(), fromMemory.Headers().size());
        for (size_t i = 0; i < fromFile.Headers().size(); ++i)
            EXPECT_EQ(fromFile.Headers()[i].value, fromMemory.Headers()[i].value);
        EXPECT_STREQ(fromFile.GetBodyText(), fromMemory.GetBodyText());
    }
}

TEST(MessageRobustness, CorpusMessagesLoadWithoutFaults) {
    std::vector<std::string> files = CorpusMessages();
    if (files.empty()) GTEST_SKIP() << "the shared corpus is not beside the repository";
    for (const std::string &path : files) {
        SCOPED_TRACE(path);
        std::string raw = ReadBinaryFile(path);
        Exercise(raw);           // as stored
        Exercise(ToCrLf(raw));   // as a POP3 server sends it
    }
}

TEST(MessageRobustness, MutatedHeadersNeverBreakTheParserOrDecoder) {
    std::vector<std::string> seeds;
    for (const std::string &path : SampleMessages()) seeds.push_back(ToCrLf(ReadBinaryFile(path)));
    for (const std::string &path : CorpusMessages()) seeds.push_back(ToCrLf(ReadBinaryFile(path)));
    const std::string pieces[] = {"=?", "?=", "?Q?", "?B?", "=", "\r\n ", "\r\n\r\n", ":",
                                  std::string(1, '\0'), std::string(1200, 'x'), "_", "=?\xFF?q?"};
    std::mt19937 random(20261207);
    for (int round = 0; round < 3000; ++round) {
        std::string text = seeds[random() % seeds.size()];
        if (text.size() > 4000) text.resize(4000);
        int edits = 1 + static_cast<int>(random() % 8);
        for (int e = 0; e < edits && !text.empty(); ++e) {
            size_t at = random() % text.size();
            switch (random() % 3) {
            case 0: text.insert(at, pieces[random() % std::size(pieces)]); break;
            case 1: text[at] = static_cast<char>(random() % 256); break;
            default: text.erase(at, random() % 64); break;
            }
        }
        Exercise(text);
        if (HasFatalFailure()) return;
    }
}
