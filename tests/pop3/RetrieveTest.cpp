// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "CUT_MemorySource.h"
#include "CUT_Pop3Session.h"
#include "DovecotServer.h"
#include "ScriptedServer.h"
#include "TestFiles.h"

namespace {

class RetrieveTest : public ::testing::Test {
protected:
    ResultCode LogOn() {
        server.Start();
        session.SetPort(server.Port());
        return session.OpenMailbox("127.0.0.1", "user", "secret");
    }
    std::string Retrieve(int n, ResultCode *result) {
        CUT_MemorySource target(nullptr, 4000);
        *result = session.RetrieveToSource(n, target);
        target.Open(OpenMode::Read);
        return std::string(target.Data(), static_cast<size_t>(target.Length()));
    }
    ScriptedServer server;
    CUT_Pop3Session session;
};

class StoppingSession : public CUT_Pop3Session {
public:
    int OnRetrieveProgress(long bytes) override {
        seen = bytes;
        return 2;
    }
    long seen = 0;
};

}  // namespace

TEST_F(RetrieveTest, DotStuffingIsUndoneAndOnlyDotCrLfEnds) {
    server.LogOn()
        .Expect("RETR 1\r\n").Send("+OK\r\nA: b\r\n\r\n..\r\n..\n..x\r\n.\r\n")
        .Expect("RETR 2\r\n").Send("-ERR no such message\r\n")
        .Expect("RETR 3\r\n").Send("+OK\r\nbody\r\n.\n");
    ASSERT_EQ(LogOn(), RC_OK);
    ResultCode result = RC_ERROR;
    EXPECT_EQ(Retrieve(1, &result), "A: b\r\n\r\n.\r\n.\n.x\r\n");
    EXPECT_EQ(result, RC_OK);
    EXPECT_EQ(Retrieve(2, &result), "");
    EXPECT_EQ(result, RC_RETR_REFUSED);
    // A server that ends lines with a bare LF ends its reply so too.
    EXPECT_EQ(Retrieve(3, &result), "body\r\n");
    EXPECT_EQ(result, RC_OK);
}

TEST_F(RetrieveTest, AProgressHookCanStopBeforeTheFirstLineIsWritten) {
    server.LogOn().Expect("RETR 1\r\n").Send("+OK\r\nfirst line\r\nsecond\r\n.\r\n");
    server.Start();
    StoppingSession stopping;
    stopping.SetPort(server.Port());
    ASSERT_EQ(stopping.OpenMailbox("127.0.0.1", "user", "secret"), RC_OK);
    CUT_MemorySource target(nullptr, 100);
    EXPECT_EQ(stopping.RetrieveToSource(1, target), RC_ABORTED);
    EXPECT_EQ(stopping.seen, 12);
    target.Open(OpenMode::Read);
    EXPECT_EQ(target.Length(), 0);
    // The rest of the reply is still on the connection: the step is lost,
    // and the connection closed without QUIT.
    EXPECT_TRUE(stopping.LostSync());
    EXPECT_EQ(stopping.IsConnected(), 0);
    long count = 0;
    EXPECT_EQ(stopping.GetMessageCount(&count), RC_LOST_SYNC);
}

TEST_F(RetrieveTest, RetrieveToFileRefusesAnEmptyNameWithoutTraffic) {
    server.LogOn();
    ASSERT_EQ(LogOn(), RC_OK);
    EXPECT_EQ(session.RetrieveToFile(1, ""), RC_TARGET_OPEN_FAILED);
    EXPECT_EQ(session.RetrieveToFile(1, "/nonexistent-dir/x.txt"), RC_TARGET_OPEN_FAILED);
    session.CloseMailbox();
    server.Finish();
    EXPECT_EQ(server.Received(), "CAPA\r\nUSER user\r\nPASS secret\r\nQuit\r\n");
}

TEST_F(RetrieveTest, UniqueIdsForOneMessageAndForAListing) {
    const std::string id69(69, 'u');
    server.LogOn()
        .Expect("UIDL 3\r\n").Send("+OK 3 whqtswO00WBw418f9t5JxYwZ\r\n")
        .Expect("UIDL\r\n").Send("+OK\r\n1 abc\r\n2 " + id69 + "\r\n.\r\n")
        .Expect("UIDL\r\n").Send("+OK\r\n1 abc\r\n2 " + id69 + "xy\r\n3 zzz\r\n.\r\n")
        .Expect("UIDL\r\n").Send("+OK\r\n.\r\n")
        .Expect("UIDL 9\r\n").Send("-ERR no such message\r\n")
        .Close();
    ASSERT_EQ(LogOn(), RC_OK);
    EXPECT_EQ(session.FetchUniqueIds(3), RC_OK);
    EXPECT_STREQ(session.FindUniqueId(3), "whqtswO00WBw418f9t5JxYwZ");
    EXPECT_EQ(session.FindUniqueId(4), nullptr);
    EXPECT_EQ(session.FetchUniqueIds(0), RC_OK);
    ASSERT_EQ(session.UniqueIds().size(), 2u);
    EXPECT_EQ(session.FindUniqueId(3), nullptr);
    EXPECT_EQ(std::string(session.FindUniqueId(2)), id69);
    // A 71-character id is none (RFC 1939: 1 to 70); the entries before it stay.
    EXPECT_EQ(session.FetchUniqueIds(-1), RC_BAD_REPLY);
    EXPECT_EQ(session.UniqueIds().size(), 1u);
    // The rest of that listing is still on the connection: drain it.
    char line[128];
    while (session.ReceiveLine(line, sizeof line, 2) > 0 && std::strcmp(line, ".\r\n") != 0) {
    }
    EXPECT_EQ(session.FetchUniqueIds(0), RC_OK);
    EXPECT_TRUE(session.UniqueIds().empty());
    EXPECT_EQ(session.FetchUniqueIds(9), RC_UIDL_REFUSED);
    server.Finish();
    // Closed by the server: the list is emptied all the same.
    EXPECT_EQ(session.FetchUniqueIds(0), RC_NOT_CONNECTED);
    EXPECT_TRUE(session.UniqueIds().empty());
}

TEST(RetrieveDovecot, WholeMessagesAndUniqueIdsFromARealServer) {
    REQUIRE_DOVECOT();
    DovecotServer server;
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    std::vector<std::string> messages;
    for (int i = 1; i <= 4; ++i) {
        std::string text = "From: s" + std::to_string(i) + "@example.org\nSubject: Nr. " +
                           std::to_string(i) + "\nMessage-Id: <r" + std::to_string(i) + "@x>\n\n";
        for (int line = 0; line < 40 * i; ++line) text += (line % 7 == 0 ? ".dot " : "line ") + std::to_string(line) + "\n";
        messages.push_back(text);
        ASSERT_TRUE(server.AddMessage(text));
    }
    char dir[] = "/tmp/pelloru-retr-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    CUT_Pop3Session session;
    session.SetPort(server.Port());
    ASSERT_EQ(session.OpenMailbox("127.0.0.1", DovecotServer::kUser, DovecotServer::kPassword), RC_OK);
    for (int i = 1; i <= 4; ++i) {
        const std::string path = std::string(dir) + "/m" + std::to_string(i) + ".eml";
        ASSERT_EQ(session.RetrieveToFile(i, path.c_str()), RC_OK);
        std::string expected;
        for (char c : messages[static_cast<size_t>(i - 1)]) expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
        EXPECT_EQ(ReadBinaryFile(path), expected) << path;
    }
    ASSERT_EQ(session.FetchUniqueIds(0), RC_OK);
    ASSERT_EQ(session.UniqueIds().size(), 4u);
    for (int i = 1; i <= 4; ++i) {
        ASSERT_NE(session.FindUniqueId(i), nullptr);
    }
    const std::string second = session.FindUniqueId(2);
    EXPECT_EQ(session.FetchUniqueIds(2), RC_OK);
    EXPECT_EQ(std::string(session.FindUniqueId(2)), second);
    session.CloseMailbox();
    std::filesystem::remove_all(dir);
}
