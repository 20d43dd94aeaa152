// SPDX-License-Identifier: GPL-3.0-or-later
// The session keeps the step of the conversation: long lines come in
// pieces without ending a reply early, and a reply that is late, garbled or
// cut short closes the connection without QUIT, so nothing is committed.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "CUT_MemorySource.h"
#include "CUT_Pop3Session.h"
#include "ScriptedServer.h"

namespace {

// Lines whose dots sit where a 1023-byte buffer cuts them into pieces.
std::vector<std::string> LongLines() {
    std::vector<std::string> lines;
    for (int length : {1021, 1022, 1023, 1024, 2044, 2045, 2046, 3000}) {
        lines.push_back(std::string(static_cast<size_t>(length - 1), 'x') + ".");
        lines.push_back("." + std::string(static_cast<size_t>(length - 1), 'y'));
        if (length > 1023)
            lines.push_back(std::string(1022, 'z') + "." +
                            std::string(static_cast<size_t>(length - 1023), 'w'));
    }
    return lines;
}

std::string Stuffed(const std::string &text) {
    std::string out;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find("\r\n", at) + 2;
        if (text[at] == '.') out += '.';
        out += text.substr(at, end - at);
        at = end;
    }
    return out;
}

}  // namespace

TEST(ConversationStep, LongLinesArePiecesOfOneLineForTopAndRetr) {
    std::string message = "Subject: long\r\n\r\n";
    for (const std::string &line : LongLines()) message += line + "\r\n";
    ScriptedServer server;
    server.LogOn()
        .Expect("TOP 1 25\r\n").Send("+OK\r\n" + Stuffed(message) + ".\r\n")
        .Expect("RETR 1\r\n").Send("+OK\r\n" + Stuffed(message) + ".\r\n")
        .Expect("TOP 1 25\r\n").Send("+OK\r\n" + Stuffed(message) + ".\r\n")
        .Expect("STAT\r\n").Send("+OK 1 9\r\n");
    server.Start();
    CUT_Pop3Session session;
    session.SetPort(server.Port());
    ASSERT_EQ(session.OpenMailbox("127.0.0.1", "user", "secret"), RC_OK);

    ASSERT_EQ(session.BeginTop(1, 25), RC_OK);
    std::string top;
    char piece[CUT_Pop3Session::kRetrieveLineSize];
    int count;
    while ((count = session.ReadMessageLine(piece, sizeof piece)) > 0) top.append(piece, count);
    EXPECT_EQ(top, Stuffed(message));  // handed out as received
    EXPECT_EQ(session.EndTop(), RC_OK);

    CUT_MemorySource target(nullptr, 40000);
    EXPECT_EQ(session.RetrieveToSource(1, target), RC_OK);
    target.Open(OpenMode::Read);
    EXPECT_EQ(std::string(target.Data(), static_cast<size_t>(target.Length())), message);

    // Draining, too, ends only at the real end.
    ASSERT_EQ(session.BeginTop(1, 25), RC_OK);
    EXPECT_EQ(session.EndTop(), RC_OK);
    long messages = 0;
    EXPECT_EQ(session.GetMessageCount(&messages), RC_OK);
    EXPECT_EQ(messages, 1);
    EXPECT_FALSE(session.LostSync());
    session.CloseMailbox();
    server.Finish();
    for (const std::string &failure : server.Failures()) ADD_FAILURE() << failure;
}

TEST(ConversationStep, LateGarbledOrCutRepliesNeverCommitDeletions) {
    struct Case {
        const char *name;
        std::function<void(ScriptedServer &)> script;  // after log-on and DELE 1
        std::function<ResultCode(CUT_Pop3Session &)> act;
        ResultCode expected;      // of act
        ResultCode closeResult;   // of the CloseMailbox that follows
        bool quitSent;
    };
    const std::string longRefusal = "-ERR " + std::string(1018, 'y') + "+OK tail\r\n";
    const std::vector<Case> cases = {
        {"garbled status",
         [](ScriptedServer &s) { s.Expect("STAT\r\n").Send("hello there\r\n"); },
         [](CUT_Pop3Session &p) { long n; return p.GetMessageCount(&n); }, RC_LOST_SYNC,
         RC_LOST_SYNC, false},
        {"late answer",
         [](ScriptedServer &s) { s.Expect("DELE 2\r\n").Pause(1600).Send("+OK\r\n"); },
         [](CUT_Pop3Session &p) { return p.DeleteMessage(2); }, RC_NO_REPLY, RC_LOST_SYNC, false},
        {"reply stalls before its end",
         [](ScriptedServer &s) {
             s.Expect("TOP 2 25\r\n").Send("+OK\r\nA: b\r\n").Pause(1600).Send(".\r\n");
         },
         [](CUT_Pop3Session &p) {
             p.BeginTop(2, 25);
             char line[100];
             while (p.ReadMessageLine(line, sizeof line) > 0) {
             }
             return p.EndTop();
         },
         RC_LOST_SYNC, RC_LOST_SYNC, false},
        {"line cut by a wait that ran out",
         [](ScriptedServer &s) {
             s.Expect("TOP 2 25\r\n").Send("+OK\r\nA: b").Pause(1600).Send("c\r\n.\r\n");
         },
         [](CUT_Pop3Session &p) {
             p.BeginTop(2, 25);
             char line[100];
             while (p.ReadMessageLine(line, sizeof line) > 0) {
             }
             return p.EndTop();
         },
         RC_LOST_SYNC, RC_LOST_SYNC, false},
        {"reply drips past its time bound",
         [](ScriptedServer &s) {
             s.Expect("STAT\r\n");
             for (char c : std::string("+OK 1 100\r\n")) s.Send(std::string(1, c)).Pause(300);
         },
         [](CUT_Pop3Session &p) { long n; return p.GetMessageCount(&n); }, RC_NO_REPLY,
         RC_LOST_SYNC, false},
        {"overlong status line is one reply",
         [&](ScriptedServer &s) {
             s.Expect("STAT\r\n").Send(longRefusal).Expect("DELE 2\r\n").Send("-ERR locked\r\n")
                 .Expect("Quit\r\n").Send("+OK\r\n");
         },
         [](CUT_Pop3Session &p) {
             long n;
             EXPECT_EQ(p.GetMessageCount(&n), RC_STAT_REFUSED);
             return p.DeleteMessage(2);
         },
         RC_DELE_REFUSED, RC_OK, true},
        {"hang-up before QUIT",
         [](ScriptedServer &s) { s.Close(); },
         [](CUT_Pop3Session &) {
             std::this_thread::sleep_for(std::chrono::milliseconds(200));
             return RC_OK;
         },
         RC_OK, RC_NOT_CONNECTED, false},
        {"QUIT refused",
         [](ScriptedServer &s) {
             s.Expect("Quit\r\n").Send("-ERR some deleted messages not removed\r\n");
         },
         [](CUT_Pop3Session &) { return RC_OK; }, RC_OK, RC_QUIT_REFUSED, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        server.LogOn().Expect("DELE 1\r\n").Send("+OK marked\r\n");
        c.script(server);
        server.Start();
        CUT_Pop3Session session;
        session.SetPort(server.Port());
        session.SetReceiveTimeout(1);
        session.SetReplyTimeLimit(2);
        ASSERT_EQ(session.OpenMailbox("127.0.0.1", "user", "secret"), RC_OK);
        ASSERT_EQ(session.DeleteMessage(1), RC_OK);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(c.act(session), c.expected);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
        if (c.expected == RC_LOST_SYNC || c.expected == RC_NO_REPLY) {
            // Every later command fails alike, and sends nothing.
            EXPECT_EQ(session.DeleteMessage(3), RC_LOST_SYNC);
            EXPECT_EQ(session.IsConnected(), 0);
        }
        EXPECT_EQ(session.CloseMailbox(), c.closeResult);
        server.Finish();
        const std::string received = server.Received();
        EXPECT_EQ(received.find("Quit") != std::string::npos, c.quitSent) << received;
        EXPECT_EQ(received.find("DELE 3"), std::string::npos);
    }
}
