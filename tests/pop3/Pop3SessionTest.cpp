// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "CUT_Pop3Session.h"
#include "ScriptedServer.h"

namespace {

class RecordingSession : public CUT_Pop3Session {
public:
    ResultCode OnError(ResultCode code) override {
        codes.push_back(code);
        return code;
    }
    std::vector<ResultCode> codes;
};

class Pop3SessionTest : public ::testing::Test {
protected:
    // Starts the server and logs on with user/secret.
    ResultCode LogOn() {
        server.Start();
        session.SetPort(server.Port());
        return session.OpenMailbox("127.0.0.1", "user", "secret");
    }
    std::string Read(int size = 1024) {
        std::vector<char> buffer(static_cast<size_t>(size), '\0');
        last = session.ReadMessageLine(buffer.data(), size);
        return last > 0 ? std::string(buffer.data(), static_cast<size_t>(last)) : std::string();
    }
    // Ends the conversation and returns what the server received.
    std::string Conversation() {
        session.CloseMailbox();
        server.Finish();
        for (const std::string &failure : server.Failures()) ADD_FAILURE() << failure;
        return server.Received();
    }
    ScriptedServer server;
    CUT_Pop3Session session;
    int last = -2;
};

const char *kLogOnText = "CAPA\r\nUSER user\r\nPASS secret\r\n";

}  // namespace

TEST_F(Pop3SessionTest, NegativeGreetingRefusesWithoutSendingUser) {
    server.Send("-ERR go away\r\n");
    EXPECT_EQ(LogOn(), RC_NO_CONNECTION);
    EXPECT_EQ(Conversation(), "Quit\r\n");
}

TEST_F(Pop3SessionTest, WrongPasswordKeepsTheConnectionOpen) {
    server.Send("+OK\r\n").Expect("CAPA\r\n").Send("-ERR\r\n").Expect("USER user\r\n").Send("+OK\r\n").Expect("PASS secret\r\n")
        .Send("-ERR [AUTH] Authentication failed.\r\n");
    EXPECT_EQ(LogOn(), RC_PASS_REFUSED);
    EXPECT_EQ(session.IsConnected(), 1);
    EXPECT_EQ(Conversation(), std::string(kLogOnText) + "Quit\r\n");
}

TEST_F(Pop3SessionTest, UserRefusedAndSilentServer) {
    server.Send("+OK\r\n").Expect("CAPA\r\n").Send("-ERR\r\n").Expect("USER user\r\n").Send("-ERR no\r\n");
    EXPECT_EQ(LogOn(), RC_USER_REFUSED);
    Conversation();

    ScriptedServer silent;
    silent.Pause(3000);
    silent.Start();
    CUT_Pop3Session quiet;
    quiet.SetPort(silent.Port());
    quiet.SetReceiveTimeout(1);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(quiet.OpenMailbox("127.0.0.1", "user", "secret"), RC_NO_CONNECTION);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

TEST_F(Pop3SessionTest, StatAndListTakeTheirNumbers) {
    server.LogOn()
        .Expect("STAT\r\n").SendSplit("+OK 3 1200\r\n", 4)
        .Expect("STAT\r\n").Send("+OK\r\n")
        .Expect("STAT\r\n").Send("-ERR busy\r\n")
        .Expect("LIST 2\r\n").Send("+OK 2 1500\r\n")
        .Expect("LIST 3\r\n").Send("+OK 3 (1700)\r\n")
        .Expect("LIST 4\r\n").Send("+OK 4\r\n")
        .Expect("LIST 9\r\n").Send("-ERR no such message\r\n");
    ASSERT_EQ(LogOn(), RC_OK);
    long count = -1;
    EXPECT_EQ(session.GetMessageCount(&count), RC_OK);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(session.GetMessageCount(&count), RC_BAD_REPLY);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(session.GetMessageCount(&count), RC_STAT_REFUSED);
    EXPECT_EQ(count, 3);
    long size = -1;
    EXPECT_EQ(session.GetMessageSize(2, &size), RC_OK);
    EXPECT_EQ(size, 1500);
    EXPECT_EQ(session.GetMessageSize(3, &size), RC_OK);
    EXPECT_EQ(size, 1700);
    EXPECT_EQ(session.GetMessageSize(4, &size), RC_BAD_REPLY);
    EXPECT_EQ(session.GetMessageSize(9, &size), RC_LIST_REFUSED);
    EXPECT_EQ(size, 1700);
    Conversation();
}

TEST_F(Pop3SessionTest, TopLinesAreHandedOutAsReceived) {
    server.LogOn()
        .Expect("TOP 1 0\r\n")
        .Send("+OK\r\nFrom: a@b.example\r\nSubject: hi\r\n\r\n.\r\n")
        .Expect("TOP 2 25\r\n")
        .Send("+OK\r\nX: y\r\n\r\n..\r\n").SendSplit("body line\r\n", 3).Send(".x\n..\n.\r\n")
        .Expect("NOOP\r\n");
    ASSERT_EQ(LogOn(), RC_OK);
    EXPECT_EQ(Read(), "");
    EXPECT_EQ(last, -1);  // no TOP reply open yet

    ASSERT_EQ(session.BeginTop(1, 0), RC_OK);
    EXPECT_EQ(Read(), "From: a@b.example\r\n");
    EXPECT_EQ(Read(), "Subject: hi\r\n");
    EXPECT_EQ(Read(), "\r\n");
    EXPECT_EQ(last, 2);
    Read();
    EXPECT_EQ(last, 0);
    // The end was met, so this drains nothing: the next reply is intact.
    EXPECT_EQ(session.EndTop(), RC_OK);
    Read();
    EXPECT_EQ(last, -1);

    ASSERT_EQ(session.BeginTop(2, 25), RC_OK);
    Read();
    Read();
    EXPECT_EQ(Read(), "..\r\n");  // dot-stuffing is left to the caller
    EXPECT_EQ(last, 4);
    EXPECT_EQ(Read(), "body line\r\n");
    // Short lines that begin with '.' are data; only a lone dot ends it.
    EXPECT_EQ(Read(), ".x\n");
    EXPECT_EQ(Read(), "..\n");
    Read();
    EXPECT_EQ(last, 0);
    EXPECT_EQ(session.EndTop(), RC_OK);
    session.Send("NOOP\r\n", -1);
    Conversation();
}

TEST_F(Pop3SessionTest, EndTopDrainsTheRestOfAnOpenReply) {
    std::string reply = "+OK\r\n";
    for (int i = 1; i <= 10; ++i) reply += "line " + std::to_string(i) + "\r\n";
    reply += ".\r\n";
    server.LogOn()
        .Expect("TOP 1 25\r\n").Send(reply)
        .Expect("DELE 1\r\n").Send("+OK deleted\r\n")
        .Expect("RSET\r\n").Send("-ERR\r\n");
    ASSERT_EQ(LogOn(), RC_OK);
    EXPECT_EQ(session.EndTop(), RC_OK);  // nothing open: at once
    ASSERT_EQ(session.BeginTop(1, 25), RC_OK);
    EXPECT_EQ(Read(), "line 1\r\n");
    EXPECT_EQ(Read(), "line 2\r\n");
    EXPECT_EQ(session.EndTop(), RC_OK);
    EXPECT_EQ(session.DeleteMessage(1), RC_OK);
    EXPECT_EQ(session.ResetDeletions(), RC_RSET_REFUSED);
    Conversation();
}

TEST_F(Pop3SessionTest, OverlongAndGarbageLinesStayInsideTheBuffers) {
    std::string huge(5000, 'A');
    std::string garbage("\x01\xff\0\x7f junk", 10);
    server.LogOn()
        .Expect("TOP 1 25\r\n")
        .Send("+OK\r\n" + huge + "\r\n" + garbage + "\r\n.\r\n")
        .Expect("STAT\r\n").Send("+OK " + std::string(300, '7') + " 10\r\n")
        .Expect("TOP 2 25\r\n").Send("+OK\r\n" + huge + "\n").Close();
    ASSERT_EQ(LogOn(), RC_OK);
    ASSERT_EQ(session.BeginTop(1, 25), RC_OK);
    int reads = 0;
    do {
        Read(100);
        ++reads;
    } while (last > 0 && reads < 500);
    EXPECT_EQ(last, 0);
    EXPECT_EQ(reads, 51 + 1 + 1);  // the long line in 99-byte pieces, garbage, end
    // A count token longer than the 260-character token buffer is refused.
    long count = 5;
    EXPECT_EQ(session.GetMessageCount(&count), RC_BAD_REPLY);
    EXPECT_EQ(count, 5);
    char scratch[2048];
    // The server hangs up in the middle of a reply: reads end, and EndTop
    // reports the lost step.
    ASSERT_EQ(session.BeginTop(2, 25), RC_OK);
    int total = 0;
    while ((last = session.ReadMessageLine(scratch, sizeof scratch)) > 0) total += last;
    EXPECT_EQ(total, 5001);
    EXPECT_EQ(session.EndTop(), RC_LOST_SYNC);
    Read(100);
    EXPECT_EQ(last, -1);
}

TEST_F(Pop3SessionTest, CommandsAfterTheServerClosedSendNothing) {
    server.LogOn().Close();
    ASSERT_EQ(LogOn(), RC_OK);
    server.Finish();
    std::string before = server.Received();
    long value = 0;
    EXPECT_EQ(session.GetMessageCount(&value), RC_NOT_CONNECTED);
    EXPECT_EQ(session.GetMessageSize(1, &value), RC_NOT_CONNECTED);
    EXPECT_EQ(session.BeginTop(1, 25), RC_NOT_CONNECTED);
    EXPECT_EQ(session.BeginRetrieve(1), RC_NOT_CONNECTED);
    EXPECT_EQ(session.DeleteMessage(1), RC_NOT_CONNECTED);
    EXPECT_EQ(session.ResetDeletions(), RC_NOT_CONNECTED);
    EXPECT_EQ(session.EndTop(), RC_OK);  // nothing open, so no test
    EXPECT_EQ(server.Received(), before);
    EXPECT_EQ(before, kLogOnText);
}

TEST_F(Pop3SessionTest, RetrieveRepliesShareTheTopRules) {
    server.LogOn()
        .Expect("RETR 1\r\n").Send("+OK 20 octets\r\nA: b\r\n\r\n..x\r\n.\r\n")
        .Expect("RETR 2\r\n").Send("+OK\r\nA: b\r\n\r\nbody\r\n.\r\n")
        .Expect("RETR 3\r\n").Send("-ERR no such message\r\n")
        .Expect("STAT\r\n").Send("+OK 0 0\r\n");
    ASSERT_EQ(LogOn(), RC_OK);
    char line[64];
    EXPECT_EQ(session.ReadRetrieveLine(line, sizeof line), -1);
    ASSERT_EQ(session.BeginRetrieve(1), RC_OK);
    std::vector<int> counts;
    int n;
    while ((n = session.ReadRetrieveLine(line, sizeof line)) > 0) counts.push_back(n);
    EXPECT_EQ(counts, (std::vector<int>{6, 2, 5}));
    EXPECT_EQ(session.EndRetrieve(), RC_OK);
    ASSERT_EQ(session.BeginRetrieve(2), RC_OK);
    EXPECT_EQ(session.ReadRetrieveLine(line, sizeof line), 6);
    EXPECT_EQ(session.EndRetrieve(), RC_OK);
    EXPECT_EQ(session.BeginRetrieve(3), RC_RETR_REFUSED);
    EXPECT_EQ(session.ReadRetrieveLine(line, sizeof line), -1);
    long count = 9;
    EXPECT_EQ(session.GetMessageCount(&count), RC_OK);
    EXPECT_EQ(count, 0);
    Conversation();
}

TEST(Pop3SessionSettings, TimeoutsAndPortAreCheckedAndKept) {
    CUT_Pop3Session session;
    EXPECT_EQ(session.SetReceiveTimeout(0), RC_ERROR);
    EXPECT_EQ(session.ReceiveTimeout(), 10);
    EXPECT_EQ(session.SetConnectTimeout(-3), RC_ERROR);
    EXPECT_EQ(session.ConnectTimeout(), 5);
    EXPECT_EQ(session.SetReceiveTimeout(20), RC_OK);
    EXPECT_EQ(session.ReceiveTimeout(), 20);
    EXPECT_EQ(session.Port(), 110);
    EXPECT_EQ(session.SetPort(0), RC_ERROR);
    EXPECT_EQ(session.SetPort(65536), RC_ERROR);
    EXPECT_EQ(session.Port(), 110);
    EXPECT_EQ(session.CloseMailbox(), RC_OK);
    EXPECT_EQ(session.FindUniqueId(1), nullptr);
}

TEST(Pop3SessionErrors, UnknownHostPassesTheHookInOrder) {
    RecordingSession session;
    EXPECT_EQ(session.OpenMailbox("no-such-host.invalid", "u", "p"), RC_HOST_NOT_RESOLVED);
    EXPECT_EQ(session.codes,
              (std::vector<ResultCode>{RC_OK, RC_HOST_NOT_FOUND, RC_HOST_NOT_RESOLVED,
                                       RC_HOST_NOT_RESOLVED}));
}

TEST(Pop3SessionErrors, ClosedPortGivesTheConnectCode) {
    CUT_Pop3Session session;
    session.SetPort(FindClosedPort());
    session.SetConnectTimeout(1);
    EXPECT_EQ(session.OpenMailbox("127.0.0.1", "u", "p"), RC_NO_CONNECTION);
    EXPECT_EQ(session.IsConnected(), 0);
}

TEST(Pop3Mechanism, TheStrongestUsableOneAndNoPasswordInClearWhereForbidden) {
    struct Case {
        std::vector<std::string> offered;
        std::string named;
        bool token, clear;
        std::string picked;
    };
    const std::vector<std::string> all = {"PLAIN", "LOGIN", "CRAM-MD5", "SCRAM-SHA-1", "SCRAM-SHA-256",
                                          "XOAUTH2", "OAUTHBEARER"};
    const Case cases[] = {
        {all, "", false, true, "SCRAM-SHA-256"},
        {{"plain", "login"}, "", false, true, "PLAIN"},
        {{}, "", false, true, "USER"},  // no CAPA, or no SASL line
        {all, "", true, true, "OAUTHBEARER"},
        {{"XOAUTH2", "PLAIN"}, "", true, true, "XOAUTH2"},
        {{"PLAIN"}, "", true, true, ""},  // a token, and no way to send it
        {all, "PLAIN", false, true, "PLAIN"},
        {{}, "CRAM-MD5", false, true, "CRAM-MD5"},  // named: tried even unlisted
        // Without TLS, away from this machine, over pop3://:
        {{"PLAIN", "CRAM-MD5"}, "", false, false, "CRAM-MD5"},
        {{"PLAIN", "LOGIN"}, "", false, false, ""},
        {all, "", true, false, ""},
        {all, "USER", false, false, ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(CUT_Pop3Session::PickMechanism(c.offered, c.named, c.token, c.clear), c.picked)
            << c.named << " token " << c.token << " clear " << c.clear;
}

TEST(Pop3Utf8, AServerThatOffersUtf8IsAskedForItBeforeTheLogOn) {
    // Courier shows messages with 8-bit headers only to clients that said UTF8.
    struct Case {
        const char *name;
        std::string capabilities;
        std::string answer;  // to UTF8; empty: not asked
    };
    const std::vector<Case> cases = {
        {"offered", "+OK\r\nUSER\r\nUTF8 USER\r\n.\r\n", "+OK UTF8 enabled\r\n"},
        {"offered and refused", "+OK\r\nUTF8\r\n.\r\n", "-ERR not now\r\n"},
        {"not offered", "+OK\r\nUSER\r\n.\r\n", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        server.Send("+OK\r\n").Expect("CAPA\r\n").Send(c.capabilities);
        if (!c.answer.empty()) server.Expect("UTF8\r\n").Send(c.answer);
        server.Expect("USER user\r\n").Send("+OK\r\n").Expect("PASS secret\r\n").Send("+OK\r\n");
        server.Start();
        CUT_Pop3Session session;
        session.SetPort(server.Port());
        EXPECT_EQ(session.OpenMailbox("127.0.0.1", "user", "secret"), RC_OK);
        session.CloseMailbox();
        server.Finish();
        for (const std::string &failure : server.Failures()) ADD_FAILURE() << failure;
    }
}
