// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "CUT_FileSource.h"
#include "MessageTestSupport.h"

TEST(MailMessage, KnownNamesAreNormalisedAndFoundWithoutRegardToCase) {
    CUT_MailMessage message;
    ASSERT_EQ(LoadText(message, "SUBJECT: Hallo\r\nTo:direct\r\nMessage-ID: <1234>\r\n"
                                "To : x\r\n\r\nbody\r\n"),
              RC_OK);
    ASSERT_EQ(message.Headers().size(), 4u);
    EXPECT_EQ(message.Headers()[0].name, "Subject:");
    EXPECT_EQ(message.Headers()[0].value, " Hallo");
    EXPECT_EQ(message.Headers()[0].id, FIELD_SUBJECT);
    int rc = 0;
    EXPECT_EQ(Lookup(message, "subject:", 1000, &rc), " Hallo");
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(Lookup(message, "To:"), "direct");  // no blank after the colon
    EXPECT_EQ(Lookup(message, "Message-Id:"), " <1234>");
    // 'To :' is no "To:" but a custom field of its own name.
    EXPECT_EQ(message.Headers()[3].name, "To :");
    EXPECT_EQ(message.Headers()[3].id, FIELD_CUSTOM);
    EXPECT_EQ(Lookup(message, "to :"), " x");
    // The colon is part of the name.
    EXPECT_EQ(Lookup(message, "Subject", 1000, &rc), "");
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(message.CountHeaders("SUBJECT:"), 1);
}

TEST(MailMessage, FoldedAndRepeatedFieldsAreJoinedWithoutSeparators) {
    CUT_MailMessage message;
    LoadText(message, "Received: from a\r\n\tby b\r\nReceived: from c\r\n"
                      "Subject: first\r\n  second\r\n\r\n");
    EXPECT_EQ(message.CountHeaders("Received:"), 3);
    EXPECT_EQ(Lookup(message, "received:"), " from a\tby b from c");
    EXPECT_EQ(Lookup(message, "Subject:"), " first  second");
    EXPECT_STREQ(message.GetHeaderValue("Received:", 1), "\tby b");
    EXPECT_EQ(message.GetHeaderValue("Received:", 3), nullptr);
    EXPECT_EQ(message.GetHeaderValue("Received:", -1), nullptr);
}

TEST(MailMessage, OddLinesBecomeCustomEntries) {
    CUT_MailMessage message;
    std::string longName = "X-" + std::string(27, 'L') + ":";  // 30 with the colon
    std::string fitting = "X-" + std::string(26, 'F') + ":";   // 29 with the colon
    LoadText(message, "\tcontinued before any field\r\n"
                      "no colon here\r\n" +
                          longName + " long\r\n" + fitting + " fits\r\n\r\n");
    const auto &headers = message.Headers();
    ASSERT_EQ(headers.size(), 4u);
    EXPECT_EQ(headers[0].name, "");
    EXPECT_EQ(headers[0].value, "\tcontinued before any field");
    EXPECT_EQ(headers[1].name, "");
    EXPECT_EQ(headers[1].value, "no colon here");
    EXPECT_EQ(headers[2].name, "");
    EXPECT_EQ(headers[2].value, " long");
    EXPECT_EQ(headers[3].name, fitting);
    EXPECT_EQ(Lookup(message, ""), "\tcontinued before any fieldno colon here long");
}

TEST(MailMessage, LookupsStopAtTheBufferSize) {
    CUT_MailMessage message;
    std::string text = "Subject: " + std::string(500, 'a') + "\r\n " + std::string(497, 'b') +
                       "\r\n\r\n";
    LoadText(message, text);
    int rc = 1;
    // 501 + 498 = 999 characters fit in 1000 bytes ...
    EXPECT_EQ(Lookup(message, "Subject:", 1000, &rc).size(), 999u);
    EXPECT_EQ(rc, 1);
    // ... one more byte of value does not.
    CUT_MailMessage longer;
    LoadText(longer, "Subject: " + std::string(500, 'a') + "\r\n " + std::string(498, 'b') +
                         "\r\n\r\n");
    EXPECT_EQ(Lookup(longer, "Subject:", 1000, &rc).size(), 501u);
    EXPECT_EQ(rc, 0);
    char untouched[4] = "abc";
    EXPECT_EQ(longer.GetHeaderByName("Subject:", untouched, 0), 0);
    EXPECT_STREQ(untouched, "abc");
    EXPECT_EQ(longer.GetHeaderByName(nullptr, untouched, 4), 0);
    EXPECT_EQ(longer.GetHeaderByName("Subject:", nullptr, 4), 0);
}

TEST(MailMessage, BodyIsTheRawLinesAfterTheEmptyLine) {
    CUT_MailMessage message;
    EXPECT_STREQ(message.GetBodyText(), "");
    ASSERT_EQ(LoadText(message, "Subject: x\r\n\r\na\r\nb\r\n"), RC_OK);
    EXPECT_STREQ(message.GetBodyText(), "a\r\nb\r\n");
    // A message without an empty line is all header, its body empty.
    ASSERT_EQ(LoadText(message, "Subject: y\r\nFrom: z\r\n"), RC_OK);
    EXPECT_EQ(message.Headers().size(), 2u);
    EXPECT_STREQ(message.GetBodyText(), "");
    // A repeated load replaces everything.
    ASSERT_EQ(LoadText(message, "From: q\r\n\r\nnew\r\n"), RC_OK);
    EXPECT_EQ(message.Headers().size(), 1u);
    EXPECT_STREQ(message.GetBodyText(), "new\r\n");
}

TEST(MailMessage, A999CharacterLineEndsTheHeaderAtItsLineEndPiece) {
    CUT_MailMessage message;
    std::string line = "X-Long: " + std::string(991, 'v');  // 999 characters
    ASSERT_EQ(LoadText(message, line + "\r\nSubject: after\r\n\r\nbody\r\n"), RC_OK);
    // The CR LF piece strips to an empty line: "Subject" lands in the body.
    EXPECT_EQ(message.Headers().size(), 1u);
    EXPECT_EQ(message.CountHeaders("Subject:"), 0);
    EXPECT_STREQ(message.GetBodyText(), "Subject: after\r\n\r\nbody\r\n");
}

TEST(MailMessage, OverlongBodyStopsBeforeTheLimitWithResult35) {
    CUT_MailMessage message;
    std::string text = "Subject: big\r\n\r\n";
    std::string line = std::string(98, 'x') + "\r\n";
    for (int i = 0; i < 400; ++i) text += line;  // 40000 bytes of body
    ASSERT_EQ(LoadText(message, text, 60000), RC_BUFFER_TOO_SMALL);
    const size_t body = std::strlen(message.GetBodyText());
    EXPECT_EQ(body % 100, 0u);
    EXPECT_LT(body + 3, static_cast<size_t>(CUT_MailMessage::BodyCapacity));
    EXPECT_GE(body + 100 + 3, static_cast<size_t>(CUT_MailMessage::BodyCapacity));
    // Long body lines arrive in pieces that get a CR LF of their own.
    CUT_MailMessage pieces;
    ASSERT_EQ(LoadText(pieces, "S: x\r\n\r\n" + std::string(1500, 'p') + "\r\n"), RC_OK);
    EXPECT_EQ(std::string(pieces.GetBodyText()),
              std::string(999, 'p') + "\r\n" + std::string(501, 'p') + "\r\n");
}

TEST(MailMessage, AddHeaderAndFieldNames) {
    CUT_MailMessage message;
    EXPECT_STREQ(CUT_MailMessage::FieldName(FIELD_ALL), "All Fields ");
    EXPECT_STREQ(CUT_MailMessage::FieldName(FIELD_X_NEWSREADER), "X-Newsreader:");
    EXPECT_STREQ(CUT_MailMessage::FieldName(FIELD_CUSTOM), "Custom");
    EXPECT_EQ(CUT_MailMessage::FieldName(14), nullptr);
    EXPECT_EQ(CUT_MailMessage::FieldName(-1), nullptr);
    EXPECT_EQ(message.AddHeader(nullptr, FIELD_TO, nullptr), 0);
    EXPECT_EQ(message.AddHeader("v", FIELD_CUSTOM, nullptr), 0);
    EXPECT_EQ(message.AddHeader(" a@b", FIELD_TO, "ignored"), 1);
    EXPECT_EQ(message.AddHeader(" 1", FIELD_CUSTOM, "X-Prio:"), 1);
    EXPECT_EQ(Lookup(message, "to:"), " a@b");
    EXPECT_EQ(Lookup(message, "x-prio:"), " 1");
}

TEST(MailMessage, SourceThatCannotOpenGives74AndKeepsTheOldBody) {
    CUT_MailMessage message;
    LoadText(message, "Subject: x\r\n\r\nold body\r\n");
    CUT_FileSource missing("/nonexistent/pelloru/message.txt");
    EXPECT_EQ(message.LoadFromSource(missing), RC_MESSAGE_OPEN_FAILED);
    EXPECT_EQ(message.Headers().size(), 0u);
    EXPECT_STREQ(message.GetBodyText(), "old body\r\n");
}
