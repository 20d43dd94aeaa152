// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "CUT_Pop3Session.h"
#include "DovecotServer.h"

namespace {

// One private server for the whole suite; each test fills its mailbox anew.
class Pop3DovecotTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!DovecotServer::Unavailable().empty()) return;
        server = new DovecotServer;
        if (!server->Start(&startError)) {
            delete server;
            server = nullptr;
        }
    }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }
    void SetUp() override {
        REQUIRE_DOVECOT();
        ASSERT_NE(server, nullptr) << startError;
        server->ClearMailbox();
        session.SetPort(server->Port());
    }
    ResultCode LogOn(const char *password = DovecotServer::kPassword) {
        return session.OpenMailbox("127.0.0.1", DovecotServer::kUser, password);
    }
    static std::string Message(int number, int bodyLines) {
        std::string text = "From: Sender " + std::to_string(number) + " <s" +
                           std::to_string(number) + "@example.org>\n"
                           "To: pelloru@example.org\n"
                           "Subject: Nachricht " + std::to_string(number) + "\n"
                           "Message-Id: <m" + std::to_string(number) + "@example.org>\n\n";
        for (int i = 1; i <= bodyLines; ++i) text += "Zeile " + std::to_string(i) + "\n";
        text += ".leading dot\n";
        return text;
    }

    static DovecotServer *server;
    static std::string startError;
    CUT_Pop3Session session;
};

DovecotServer *Pop3DovecotTest::server = nullptr;
std::string Pop3DovecotTest::startError;

}  // namespace

TEST_F(Pop3DovecotTest, LogOnStatListAndTopAgainstARealServer) {
    ASSERT_TRUE(server->AddMessage(Message(1, 3)));
    ASSERT_TRUE(server->AddMessage(Message(2, 40)));
    ASSERT_EQ(LogOn(), RC_OK);
    long count = -1;
    ASSERT_EQ(session.GetMessageCount(&count), RC_OK);
    EXPECT_EQ(count, 2);

    long size = 0;
    ASSERT_EQ(session.GetMessageSize(1, &size), RC_OK);
    // The server counts CR LF line ends.
    std::string first = Message(1, 3);
    long lines = static_cast<long>(std::count(first.begin(), first.end(), '\n'));
    EXPECT_EQ(size, static_cast<long>(first.size()) + lines);

    ASSERT_EQ(session.EndTop(), RC_OK);
    ASSERT_EQ(session.BeginTop(2, 25), RC_OK);
    std::vector<std::string> got;
    char line[1023];
    int n;
    while ((n = session.ReadMessageLine(line, sizeof line)) > 0) got.emplace_back(line, n);
    ASSERT_EQ(got.size(), 4u + 1u + 25u);
    EXPECT_EQ(got[0], "From: Sender 2 <s2@example.org>\r\n");
    EXPECT_EQ(got[4], "\r\n");
    EXPECT_EQ(got.back(), "Zeile 25\r\n");
    EXPECT_EQ(session.EndTop(), RC_OK);

    // The dot-stuffed line arrives stuffed through the line reads.
    ASSERT_EQ(session.BeginTop(1, 25), RC_OK);
    got.clear();
    while ((n = session.ReadMessageLine(line, sizeof line)) > 0) got.emplace_back(line, n);
    EXPECT_EQ(got.back(), "..leading dot\r\n");
    EXPECT_EQ(session.EndTop(), RC_OK);
    EXPECT_EQ(session.BeginTop(3, 25), RC_TOP_REFUSED);
    EXPECT_EQ(session.CloseMailbox(), RC_OK);
}

TEST_F(Pop3DovecotTest, DeleteTakesEffectAfterQuit) {
    for (int i = 1; i <= 3; ++i) ASSERT_TRUE(server->AddMessage(Message(i, 2)));
    ASSERT_EQ(LogOn(), RC_OK);
    EXPECT_EQ(session.DeleteMessage(2), RC_OK);
    EXPECT_EQ(session.DeleteMessage(2), RC_DELE_REFUSED);
    EXPECT_EQ(session.CloseMailbox(), RC_OK);

    // A new session sees one message less; give the server a moment to
    // finish the QUIT of the old one.
    CUT_Pop3Session next;
    next.SetPort(server->Port());
    long count = -1;
    for (int attempt = 0; attempt < 50 && count != 2; ++attempt) {
        ASSERT_EQ(next.OpenMailbox("127.0.0.1", DovecotServer::kUser, DovecotServer::kPassword),
                  RC_OK);
        ASSERT_EQ(next.GetMessageCount(&count), RC_OK);
        next.CloseMailbox();
        if (count != 2) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(count, 2);
    EXPECT_EQ(server->CountMessages(), 2);
}

TEST_F(Pop3DovecotTest, ResetUndoesDeletions) {
    ASSERT_TRUE(server->AddMessage(Message(1, 1)));
    ASSERT_EQ(LogOn(), RC_OK);
    EXPECT_EQ(session.DeleteMessage(1), RC_OK);
    EXPECT_EQ(session.ResetDeletions(), RC_OK);
    EXPECT_EQ(session.CloseMailbox(), RC_OK);
    ASSERT_EQ(LogOn(), RC_OK);
    long count = -1;
    EXPECT_EQ(session.GetMessageCount(&count), RC_OK);
    EXPECT_EQ(count, 1);
}

TEST_F(Pop3DovecotTest, WrongPasswordIsRefused) {
    EXPECT_EQ(LogOn("falsch"), RC_PASS_REFUSED);
    EXPECT_EQ(session.IsConnected(), 1);
    EXPECT_EQ(session.CloseMailbox(), RC_OK);
    EXPECT_EQ(LogOn(), RC_OK);
}
