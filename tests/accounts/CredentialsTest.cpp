// SPDX-License-Identifier: GPL-3.0-or-later
// Secrets reach the server only when they surely are what the user meant,
// and only a server that proves itself gets the session.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "CCredentials.h"
#include "CUT_Pop3Session.h"
#include "CUT_SaslClient.h"
#include "ScriptedServer.h"

namespace {

// Running, not a zombie that nobody has reaped yet.
bool Alive(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return false;
    const size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

}  // namespace

TEST(Credentials, OnlyACommandThatSucceedsGivesASafeSecret) {
    char folder[] = "/tmp/pelloru-cred-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string pidFile = std::string(folder) + "/child";
    struct Case {
        const char *name;
        std::string passwordCommand;
        int stopAfterMs;        // 0: no stop request
        bool resolved;
        const char *problem;    // a part of the reason
        bool leavesAChild;      // the command started one; it must be gone
    };
    const std::vector<Case> cases = {
        {"a password", "echo geheim", 0, true, "", false},
        {"an error text and a failure status",
         "echo 'error: entry not found'; exit 1", 0, false, "Exit-Status 1", false},
        {"a line and then a signal", "echo geheim; kill -9 $$", 0, false, "Signal 9", false},
        {"a line break inside the password", "printf 'ge\\rheim\\n'", 0, false, "Zeilenumbruch", false},
        {"too slow, with a child of its own",
         "sleep 300 & echo $! > " + pidFile + "; sleep 300", 0, false, "nicht innerhalb von 1 s", true},
        {"a stop ends the wait at once",
         "sleep 300 & echo $! > " + pidFile + "; sleep 300", 200, false, "abgebrochen", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::remove(pidFile.c_str());
        MailAccount account;
        account.user = "user";
        account.passwordCommand = c.passwordCommand;
        std::atomic<bool> stop{false};
        std::thread stopper([&] {
            if (c.stopAfterMs == 0) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(c.stopAfterMs));
            stop = true;
        });
        std::string problem;
        const auto start = std::chrono::steady_clock::now();
        bool resolved;
        if (c.stopAfterMs > 0) {
            resolved = CCredentials::Resolve(account, &problem, &stop);
        } else {
            // A short bound for the slow command; Resolve's own is 30 s.
            std::string line;
            resolved = CCredentials::FirstLineOf(c.passwordCommand, 1, &line, &problem, &stop);
            if (resolved) {
                account.password = line;
                account.passwordCommand.clear();
                resolved = CCredentials::Resolve(account, &problem);
            }
        }
        const auto spent = std::chrono::steady_clock::now() - start;
        stopper.join();
        EXPECT_EQ(resolved, c.resolved) << problem;
        EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
        EXPECT_LT(spent, std::chrono::milliseconds(c.stopAfterMs > 0 ? 900 : 2500));
        if (c.resolved) {
            EXPECT_EQ(account.password, "geheim");
        }
        if (c.leavesAChild) {
            std::ifstream in(pidFile);
            pid_t child = 0;
            ASSERT_TRUE(in >> child);
            for (int i = 0; i < 50 && Alive(child); ++i) usleep(20000);
            EXPECT_FALSE(Alive(child)) << "the command's child still runs";
        }
    }
    std::remove(pidFile.c_str());
    ::rmdir(folder);
}

TEST(Credentials, ASCRAMServerMustProveItKnowsThePassword) {
    // The server's first message, made from the client's nonce.
    const auto serverFirst = [](const std::string &authLine) {
        const std::string initial = authLine.substr(authLine.rfind(' ') + 1);
        const std::string clientFirst = CUT_SaslClient::FromBase64(initial);
        const std::string nonce = clientFirst.substr(clientFirst.find("r=") + 2);
        return "+ " + CUT_SaslClient::Base64("r=" + nonce + "srv,s=" +
                                             CUT_SaslClient::Base64("salt1234") + ",i=4096") +
               "\r\n";
    };
    struct Case {
        const char *name;
        std::function<void(ScriptedServer &)> exchange;
    };
    const std::vector<Case> cases = {
        {"+OK right after the client's first message",
         [](ScriptedServer &s) { s.Respond([](const std::string &) { return "+OK welcome\r\n"; }); }},
        {"+OK after the final message, without v=",
         [&](ScriptedServer &s) {
             s.Respond(serverFirst).Respond([](const std::string &) { return "+OK welcome\r\n"; });
         }},
        {"a server signature that does not verify",
         [&](ScriptedServer &s) {
             s.Respond(serverFirst)
                 .Respond([](const std::string &) {
                     return "+ " + CUT_SaslClient::Base64("v=" + CUT_SaslClient::Base64(std::string(32, 'x'))) +
                            "\r\n";
                 })
                 .Respond([](const std::string &) { return "-ERR cancelled\r\n"; });
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        server.Send("+OK ready\r\n").Expect("CAPA\r\n").Send("+OK\r\nSASL SCRAM-SHA-256\r\n.\r\n");
        c.exchange(server);
        server.Start();
        CUT_Pop3Session session;
        session.SetPort(server.Port());
        session.SetReceiveTimeout(2);
        ASSERT_EQ(session.SetAuthentication("SCRAM-SHA-256", false, ""), RC_OK);
        EXPECT_EQ(session.OpenMailbox("127.0.0.1", "user", "secret"), RC_SERVER_UNPROVEN);
        // Nothing goes on: no command after the log-on, no QUIT.
        EXPECT_EQ(session.IsConnected(), 0);
        long count = 0;
        EXPECT_NE(session.GetMessageCount(&count), RC_OK);
        session.CloseMailbox();
        server.Finish();
        EXPECT_EQ(server.Received().find("STAT"), std::string::npos);
        EXPECT_EQ(server.Received().find("Quit"), std::string::npos);
    }
}
