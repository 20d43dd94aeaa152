// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <cstdio>
#include <fstream>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <sstream>
#include <string>
#include <vector>

#include "BatchMode.h"
#include "CMailboxScan.h"
#include "CServerAddress.h"
#include "ScanTestSupport.h"
#include "ScriptedServer.h"
#include "TestCertificates.h"

namespace {

std::string TopReply(const std::string &message) {
    std::string reply = "+OK\r\n";
    std::istringstream lines(message);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '.') reply += '.';
        reply += line + "\r\n";
    }
    return reply + ".\r\n";
}

int Size(const std::string &message) { return static_cast<int>(message.size()); }

std::string Top(int n) { return "TOP " + std::to_string(n) + " 25\r\n"; }
std::string Retr(int n) { return "RETR " + std::to_string(n) + "\r\n"; }
std::string Dele(int n) { return "DELE " + std::to_string(n) + "\r\n"; }

// A LIST listing of messages 1, 2, ... with these sizes.
std::string Listing(const std::vector<int> &sizes) {
    std::string reply = "+OK\r\n";
    for (size_t i = 0; i < sizes.size(); ++i)
        reply += std::to_string(i + 1) + " " + std::to_string(sizes[i]) + "\r\n";
    return reply + ".\r\n";
}

// A server without CAPA and UIDL: STAT and the listing.
void OpenBox(ScriptedServer &server, const std::vector<int> &sizes) {
    server.Expect("CAPA\r\n").Send("-ERR\r\n")
        .Expect("STAT\r\n").Send("+OK " + std::to_string(sizes.size()) + " 900\r\n")
        .Expect("LIST\r\n").Send(Listing(sizes))
        .Expect("UIDL\r\n").Send("-ERR not here\r\n");
}

const std::string kAnna =
    "From: \"Anna B\" <anna@example.de>\r\n"
    "Subject: =?iso-8859-1?Q?Gr=FC=DFe?=\r\n"
    "Message-ID: <a1@example.de>\r\n"
    "\r\n"
    "Hallo\r\n"
    ".Welt mit Punkt\r\n";
const std::string kOffer =
    "From: plain@example.org\r\n"
    "Subject: Gewinnspiel: Sie haben gewonnen\r\n"
    "Message-Id: <b2@example.org>\r\n"
    "\r\n"
    "Klicken Sie hier.\r\n";
const std::string kBare =
    "Subject: ohne Absender\r\n"
    "\r\n"
    "\r\n";

class ScanTest : public ::testing::Test {
protected:
    void SetUp() override {
        BatchMode = 0;
        server.LogOn();
    }
    void TearDown() override { BatchMode = 0; }
    void Configure() {
        CSettingsStore settings("pelloru");
        settings.Write("HOST", "127.0.0.1:" + std::to_string(server.Port()));
        settings.Write("USER", "user");
        settings.Write("PASS", CSettingsStore::ComplementPassword("secret"));
        configured = true;
    }
    void Run(int mode) {
        if (!configured) Configure();
        CSettingsStore settings("pelloru");
        server.Start();
        CMailboxScan scan(list, window, settings, "pelloru");
        scan.ScanMailbox(mode);
        server.Finish();
        for (const std::string &failure : server.Failures()) ADD_FAILURE() << failure;
    }
    std::string Backup(const std::string &name) { return ReadBinaryFile(env.Dir() + "/" + name); }
    ScanEnvironment env;
    ScriptedServer server;
    MemoryList list;
    RecordingWindow window;
    bool configured = false;
};

}  // namespace

TEST_F(ScanTest, ListFillsRowsAndDeletesWhatAPatternMatches) {
    // (A line is matched as the message has it, live as from the cache:
    // the dot POP3 puts in front of ".Welt" is not part of it.)
    env.Patterns("nothing here\ngewinn\nGEWINNSPIEL\n..Welt\n");
    list.Fill({{"old", "", "", "", "", ""}});
    OpenBox(server, {311, Size(kOffer), 0});
    server.Expect(Top(1)).Send(TopReply(kAnna))
        .Expect(Top(2)).SendSplit(TopReply(kOffer), 7)
        .Expect(Retr(2)).SendSplit(TopReply(kOffer), 5)
        .Expect(Dele(2)).Send("+OK marked\r\n")
        .Expect(Top(3)).Send(TopReply(kBare))
        .Expect("Quit\r\n").Send("+OK bye\r\n");
    Run(List);

    ASSERT_EQ(list.rows.size(), 3u);
    // The subject is converted from its charset to UTF-8.
    EXPECT_EQ(list.rows[0][3], " Grüße");
    EXPECT_EQ(list.shown[0], (std::vector<std::string>{"anna@example.de", " \"Anna B\" ", "311",
                                                      " Grüße", "Hallo\n.Welt mit Punkt",
                                                      " <a1@example.de>"}));
    const std::string mark = "gelöscht=GEWINNSPIEL";
    EXPECT_EQ(list.shown[1], (std::vector<std::string>{mark, mark, std::to_string(kOffer.size()),
                                                      " Gewinnspiel: Sie haben gewonnen",
                                                      "Klicken Sie hier.", mark}));
    // No From and no Message-Id: a row all the same; no text, no preview.
    EXPECT_EQ(list.rows[2], (std::vector<std::string>{"", "", "0", " ohne Absender", "", ""}));

    // The backup holds the whole message as RETR gave it.
    std::vector<std::string> backups = env.Backups();
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_EQ(backups[0].substr(0, 4), "msg_");
    EXPECT_EQ(backups[0].substr(23), "_b2@example.org.txt");
    EXPECT_EQ(Backup(backups[0]), kOffer);

    EXPECT_EQ(window.titles.front(), "pelloru - Connect");
    EXPECT_EQ(window.titles[1], "pelloru - Connect OK !");
    EXPECT_EQ(window.titles[2], "pelloru - 3 E-Mails");
    EXPECT_EQ(window.titles.back(), "pelloru - 3 von 3 E-Mails");
    EXPECT_EQ(window.repaints, 3);
    EXPECT_TRUE(window.boxes.empty());
}

TEST_F(ScanTest, AFailedLogOnOrAnEmptyMailboxEndsWithABoxAndNoQuit) {
    ScriptedServer refusing;
    refusing.Send("+OK\r\n").Expect("CAPA\r\n").Send("-ERR\r\n").Expect("USER user\r\n")
        .Send("+OK\r\n").Expect("PASS secret\r\n").Send("-ERR wrong\r\n");
    refusing.Start();
    {
        CSettingsStore settings("pelloru");
        settings.Write("HOST", "127.0.0.1:" + std::to_string(refusing.Port()));
        settings.Write("USER", "user");
        settings.Write("PASS", CSettingsStore::ComplementPassword("secret"));
        list.Fill({{"old", "", "", "", "", ""}});
        CMailboxScan scan(list, window, settings, "pelloru");
        scan.ScanMailbox(List);
    }
    refusing.Finish();
    EXPECT_TRUE(refusing.Failures().empty());
    EXPECT_TRUE(list.rows.empty());
    EXPECT_EQ(window.boxes, std::vector<std::string>{"Connection Failed"});
    EXPECT_EQ(window.titles, std::vector<std::string>{"pelloru - Connect"});
    EXPECT_EQ(refusing.Received().find("Quit"), std::string::npos);

    window.boxes.clear();
    server.Expect("CAPA\r\n").Send("-ERR\r\n").Expect("STAT\r\n").Send("+OK 0 0\r\n");
    Run(List);
    EXPECT_EQ(window.boxes, std::vector<std::string>{"Keine E-Mails vorhanden."});
    EXPECT_EQ(server.Received().find("Quit"), std::string::npos);
}

TEST_F(ScanTest, AFailedStatOrListIsAFailureNotAnEmptyMailbox) {
    struct Case {
        const char *name;
        std::string script;  // the answers to STAT and, where it comes to it, LIST
        bool batch;
    };
    const std::vector<Case> cases = {
        {"STAT refused", "-ERR mailbox locked\r\n", false},
        {"STAT without a count", "+OK\r\n", true},
        {"LIST refused", "+OK 2 90\r\n-ERR\r\n", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer box;
        box.LogOn().Expect("CAPA\r\n").Send("-ERR\r\n").Expect("STAT\r\n");
        if (c.script.rfind("+OK 2", 0) == 0)
            box.Send("+OK 2 90\r\n").Expect("LIST\r\n").Send("-ERR\r\n");
        else
            box.Send(c.script);
        box.Start();
        CSettingsStore settings("pelloru");
        settings.Write("HOST", "127.0.0.1:" + std::to_string(box.Port()));
        settings.Write("USER", "user");
        settings.Write("PASS", CSettingsStore::ComplementPassword("secret"));
        RecordingWindow shown;
        BatchMode = c.batch ? 1 : 0;
        CMailboxScan scan(list, shown, settings, "pelloru");
        scan.ScanMailbox(List);
        BatchMode = 0;
        box.Finish();
        EXPECT_EQ(scan.LastOutcome(), CMailboxScan::MailboxFailed);
        EXPECT_EQ(shown.boxes, c.batch ? std::vector<std::string>{}
                                       : std::vector<std::string>{"Fehler beim Lesen des Postfachs"});
    }
}

TEST_F(ScanTest, ARefusedTopKeepsTheRowsAligned) {
    OpenBox(server, {10, 20, 30});
    server.Expect(Top(1)).Send(TopReply(kAnna))
        .Expect(Top(2)).Send("-ERR no such message\r\n")
        .Expect(Top(3)).Send(TopReply(kOffer))
        .Expect("Quit\r\n");
    Run(List);
    ASSERT_EQ(list.rows.size(), 3u);
    EXPECT_EQ(list.rows[0][0], "anna@example.de");
    EXPECT_EQ(list.rows[1], std::vector<std::string>(6));
    EXPECT_EQ(list.rows[2][0], " plain@example.org");  // no '<': the whole value
    EXPECT_EQ(list.rows[2][2], "30");
    EXPECT_EQ(window.boxes, std::vector<std::string>{"Top Failed to open a message"});
}

TEST_F(ScanTest, ALostConnectionEndsTheScanInsteadOfFailingEveryMessage) {
    // STAT claims far more than the listing holds: the listing counts.
    server.Expect("CAPA\r\n").Send("+OK\r\nUIDL\r\n.\r\n")
        .Expect("STAT\r\n").Send("+OK 100000 9\r\n")
        .Expect("LIST\r\n").Send(Listing({10, 10, 10}))
        .Expect("UIDL\r\n").Send("-ERR\r\n")
        .Expect(Top(1)).Send(TopReply(kAnna))
        .Expect(Top(2)).Close();
    Run(List);
    EXPECT_EQ(list.rows.size(), 2u);
    EXPECT_EQ(window.boxes, std::vector<std::string>{"Top Failed to open a message"});
}

TEST_F(ScanTest, ARefusedDeleteRemovesItsBackupAgain) {
    env.Patterns("gewinnspiel\n");
    OpenBox(server, {Size(kOffer)});
    server.Expect(Top(1)).Send(TopReply(kOffer))
        .Expect(Retr(1)).Send(TopReply(kOffer))
        .Expect(Dele(1)).Send("-ERR locked\r\n")
        .Expect("Quit\r\n");
    Run(List);
    EXPECT_EQ(list.rows[0][0], "fehler beim löschen");
    EXPECT_EQ(list.rows[0][5], " <b2@example.org>");
    EXPECT_TRUE(env.Backups().empty());
    EXPECT_TRUE(window.boxes.empty());
}

TEST_F(ScanTest, NoDeleteWithoutABackupOnDisk) {
    env.Patterns("gewinnspiel\n");
    OpenBox(server, {10});
    server.Expect(Top(1)).Send(TopReply(kOffer))
        .Expect(Retr(1)).Send(TopReply(kOffer))
        .Expect("Quit\r\n");
    Configure();
    // A file size limit of a few bytes makes every backup write fail.
    struct sigaction ignore {}, previous {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &previous);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit tiny = old;
    tiny.rlim_cur = 16;
    setrlimit(RLIMIT_FSIZE, &tiny);
    Run(List);
    setrlimit(RLIMIT_FSIZE, &old);
    sigaction(SIGXFSZ, &previous, nullptr);
    ASSERT_EQ(list.rows.size(), 1u);
    EXPECT_EQ(list.rows[0][0], "fehler beim löschen");
    EXPECT_EQ(server.Received().find("DELE"), std::string::npos);
    EXPECT_TRUE(env.Backups().empty());
}

TEST_F(ScanTest, BackupsNeverReplaceEachOtherAndHostileIdsStayInTheFolder) {
    env.Patterns("gewinnspiel\n");
    const std::string hostile = "From: x@y\r\nSubject: Gewinnspiel\r\n"
                                "Message-Id: <../../etc/\x01passwd>\r\n\r\nbody\r\n";
    OpenBox(server, {Size(kOffer), Size(kOffer), Size(hostile)});
    for (int n = 1; n <= 3; ++n) {
        server.Expect(Top(n)).Send(TopReply(n == 3 ? hostile : kOffer))
            .Expect(Retr(n)).Send(TopReply(n == 3 ? hostile : kOffer))
            .Expect(Dele(n)).Send("+OK\r\n");
    }
    server.Expect("Quit\r\n").Send("+OK\r\n");
    Run(List);
    std::vector<std::string> backups = env.Backups();
    ASSERT_EQ(backups.size(), 3u);
    // Same identifier, same second: the later one gets a number.
    int plain = 0, numbered = 0, escaped = 0;
    for (const std::string &name : backups) {
        if (name.find("_b2@example.org.txt") != std::string::npos) ++plain;
        if (name.find("_b2@example.org_2.txt") != std::string::npos) ++numbered;
        if (name.find("_.._.._etc__passwd.txt") != std::string::npos) ++escaped;
    }
    if (numbered == 0) {
        // The two backups straddled a second: distinct names anyway.
        EXPECT_EQ(plain, 2);
    } else {
        EXPECT_EQ(plain, 1);
    }
    EXPECT_EQ(escaped, 1);
    EXPECT_EQ(list.rows[2][0], "gelöscht=gewinnspiel");
}

TEST_F(ScanTest, SelectedRowsActOnExactlyTheMessagesTheyIdentify) {
    // Row keys as a List scan of this server without UIDL left them: by
    // Message-Id and size. Row 3 names no message (no Message-Id), row 4
    // one that two messages share, row 5 one that is gone.
    list.Fill({{"a", "", "", "", "", " <a1@example.de>"},
               {"b", "", "", "", "", " <b2@example.org>"},
               {"c", "", "", "", "", " <b2@example.org>"},
               {"d", "", "", "", "", ""},
               {"e", "", "", "", "", " <twin@x>"},
               {"f", "", "", "", "", " <gone@x>"}});
    list.keys = {CMailboxScan::RowKeyFor("", 10, " <a1@example.de>"),
                 CMailboxScan::RowKeyFor("", Size(kOffer), " <b2@example.org>"),
                 CMailboxScan::RowKeyFor("", Size(kOffer), " <b2@example.org>"),
                 CMailboxScan::RowKeyFor("", 30, ""),
                 CMailboxScan::RowKeyFor("", 40, " <twin@x>"),
                 CMailboxScan::RowKeyFor("", 50, " <gone@x>")};
    EXPECT_EQ(list.keys[3], "");
    list.selected = {1, 2, 3, 4, 5};
    const std::string twin = "Message-Id: <twin@x>\r\n\r\n";
    const auto headers = [](int n) { return "TOP " + std::to_string(n) + " 0\r\n"; };
    OpenBox(server, {10, Size(kOffer), 30, 40, 40});
    server.Expect(headers(1)).Send(TopReply(kAnna))
        .Expect(headers(2)).Send(TopReply(kOffer))
        .Expect(headers(3)).Send(TopReply(kBare))
        .Expect(headers(4)).Send(TopReply(twin))
        .Expect(headers(5)).Send(TopReply(twin))
        .Expect(Retr(2)).Send(TopReply(kOffer))  // a backup first, as for every deletion
        .Expect(Dele(2)).Send("+OK\r\n")
        .Expect("Quit\r\n").Send("+OK\r\n");
    Run(DeleteSelected);
    EXPECT_EQ(list.rows[0][0], "a");
    EXPECT_EQ(list.rows[1][0], "Gelöscht");
    EXPECT_EQ(list.rows[2][0], "c");  // the same message: deleted once
    EXPECT_EQ(list.rows[3][0], "nicht eindeutig");
    EXPECT_EQ(list.rows[4][0], "nicht eindeutig");
    EXPECT_EQ(list.rows[5][0], "nicht gefunden");
    EXPECT_TRUE(window.boxes.empty());
}

TEST_F(ScanTest, SaveSelectedWritesWholeMessagesByUniqueId) {
    list.Fill({{"a", "", "", "", "", " <a1@example.de>"}, {"b", "", "", "", "", "other"}});
    list.keys = {"U:uid-2", "U:uid-9"};
    list.selected = {0, 1};
    env.Patterns("Hallo\n");  // matches, but only a List scan acts on it
    const std::string whole = kAnna + std::string("attachment\0line\r\n", 17);
    server.Expect("CAPA\r\n").Send("-ERR\r\n")
        .Expect("STAT\r\n").Send("+OK 2 9\r\n")
        .Expect("LIST\r\n").Send(Listing({5, Size(whole)}))
        .Expect("UIDL\r\n").Send("+OK\r\n1 uid-1\r\n2 uid-2\r\n.\r\n")
        .Expect(Retr(2)).Send(TopReply(whole))
        .Expect("Quit\r\n");
    Run(SaveSelected);
    std::vector<std::string> backups = env.Backups();
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_EQ(backups[0].substr(23), "_a1@example.de.txt");
    EXPECT_EQ(Backup(backups[0]), whole);  // NUL byte and all
    EXPECT_EQ(list.rows[0][0], "a");
    EXPECT_EQ(list.rows[1][0], "nicht gefunden");
}

TEST_F(ScanTest, DeletionsCountOnlyWhenTheQuitThatCommitsThemSucceeds) {
    struct Case {
        const char *name;
        std::function<void(ScriptedServer &)> afterRetr;
        bool backupKept;
    };
    const std::vector<Case> cases = {
        {"DELE answered late",
         [](ScriptedServer &s) { s.Expect(Dele(1)).Pause(1500).Send("+OK\r\n"); }, true},
        {"hang-up after DELE",
         [](ScriptedServer &s) { s.Expect(Dele(1)).Send("+OK\r\n").Close(); }, true},
        {"QUIT refused",
         [](ScriptedServer &s) {
             s.Expect(Dele(1)).Send("+OK\r\n").Expect("Quit\r\n")
                 .Send("-ERR some deleted messages not removed\r\n");
         },
         true},
        {"DELE refused", [](ScriptedServer &s) {
             s.Expect(Dele(1)).Send("-ERR locked\r\n").Expect("Quit\r\n");
         }, false},
    };
    env.Patterns("gewinnspiel\n");
    Configure();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer box;
        box.LogOn();
        OpenBox(box, {Size(kOffer)});
        box.Expect(Top(1)).Send(TopReply(kOffer)).Expect(Retr(1)).Send(TopReply(kOffer));
        c.afterRetr(box);
        box.Start();
        CSettingsStore settings("pelloru");
        settings.Write("HOST", "127.0.0.1:" + std::to_string(box.Port()));
        CMailboxScan scan(list, window, settings, "pelloru");
        scan.SetTimeouts(1, 2);
        scan.ScanMailbox(List);
        box.Finish();
        ASSERT_EQ(list.rows.size(), 1u);
        // A hang-up that reaches the client only after its QUIT went out
        // cannot be told from a server that took QUIT and left without a
        // word: then the row says so instead.
        const bool uncertain = std::string(c.name) == "hang-up after DELE" &&
                               list.rows[0][0] == RowStateText(RowState::UncertainQuit);
        if (!uncertain) {
            EXPECT_EQ(list.rows[0][0], "fehler beim löschen");
        }
        EXPECT_EQ(env.Backups().size(), c.backupKept ? 1u : 0u);
        if (c.backupKept) {
            EXPECT_EQ(scan.LastOutcome(), uncertain ? CMailboxScan::Uncertain : CMailboxScan::Interrupted);
            EXPECT_EQ(Backup(env.Backups()[0]), kOffer);
        }
        for (const std::string &name : env.Backups()) std::remove((env.Dir() + "/" + name).c_str());
    }
}

TEST_F(ScanTest, PipelinedTopsStayWithinTheWindow) {
    // A server that offers PIPELINING and reads slowly: never more TOPs out
    // than the window, whose replies come back in order.
    server.Expect("CAPA\r\n").Send("+OK\r\nPIPELINING\r\n.\r\n")
        .Expect("STAT\r\n").Expect("LIST\r\n").Expect("UIDL\r\n")
        .Send("+OK 6 60\r\n" + Listing({10, 10, 10, 10, 10, 10}) + "-ERR\r\n")
        .Pause(200);
    for (int n = 1; n <= 4; ++n) server.Expect(Top(n));
    server.ExpectSilence(300);
    // Once half the window is read, it is filled again, never beyond.
    server.Send(TopReply(kAnna)).ExpectSilence(200)
        .Send(TopReply(kOffer)).Expect(Top(5)).Expect(Top(6)).ExpectSilence(200)
        .Send(TopReply(kAnna) + TopReply(kOffer) + TopReply(kBare) + TopReply(kAnna))
        .Expect("Quit\r\n");
    Configure();
    server.Start();
    CSettingsStore settings("pelloru");
    CMailboxScan scan(list, window, settings, "pelloru");
    scan.SetWindow(4);
    scan.ScanMailbox(List);
    server.Finish();
    for (const std::string &failure : server.Failures()) ADD_FAILURE() << failure;
    ASSERT_EQ(list.rows.size(), 6u);
    EXPECT_EQ(list.rows[1][0], " plain@example.org");
    EXPECT_EQ(list.rows[4][3], " ohne Absender");
    EXPECT_EQ(list.rows[5][0], "anna@example.de");
    EXPECT_EQ(scan.LastOutcome(), CMailboxScan::Scanned);
}

TEST_F(ScanTest, AnswersOutOfStepDropTheSessionWithoutQuit) {
    env.Patterns("gewinnspiel\n");
    // One reply more than was asked for, behind the pipelined TOPs.
    server.Expect("CAPA\r\n").Send("+OK\r\nPIPELINING\r\n.\r\n")
        .Expect("STAT\r\n").Expect("LIST\r\n").Expect("UIDL\r\n")
        .Send("+OK 2 20\r\n" + Listing({10, 10}) + "-ERR\r\n")
        .Expect(Top(1)).Expect(Top(2))
        .Send(TopReply(kAnna) + TopReply(kOffer) + "+OK 2 messages deleted\r\n");
    Configure();
    server.Start();
    CSettingsStore settings("pelloru");
    CMailboxScan scan(list, window, settings, "pelloru");
    scan.ScanMailbox(List);
    server.Finish();
    ASSERT_EQ(list.rows.size(), 2u);
    EXPECT_EQ(list.rows[1][0], "fehler beim löschen");
    EXPECT_EQ(scan.LastOutcome(), CMailboxScan::Interrupted);
    const std::string received = server.Received();
    EXPECT_EQ(received.find("RETR"), std::string::npos);
    EXPECT_EQ(received.find("DELE"), std::string::npos);
    EXPECT_EQ(received.find("Quit"), std::string::npos);
    EXPECT_TRUE(env.Backups().empty());
}

TEST(ScanHostPort, APortSuffixIsTakenOnlyWhenItIsOne) {
    int port = 0;
    EXPECT_EQ(CServerAddress::SplitHostPort("pop.example.net:1100", &port), "pop.example.net");
    EXPECT_EQ(port, 1100);
    port = 0;
    EXPECT_EQ(CServerAddress::SplitHostPort("pop.example.net", &port), "pop.example.net");
    EXPECT_EQ(CServerAddress::SplitHostPort("host:0", &port), "host:0");
    EXPECT_EQ(CServerAddress::SplitHostPort("host:65536", &port), "host:65536");
    EXPECT_EQ(CServerAddress::SplitHostPort("host:12a", &port), "host:12a");
    EXPECT_EQ(CServerAddress::SplitHostPort("host:", &port), "host:");
    EXPECT_EQ(CServerAddress::SplitHostPort(":110", &port), ":110");
    EXPECT_EQ(CServerAddress::SplitHostPort("host:99999999999999999999", &port),
              "host:99999999999999999999");
    EXPECT_EQ(port, 0);
}

namespace {

// A message that patterns match, with more body lines than TOP brings.
std::string LongOffer(int bodyLines) {
    std::string text = "From: x@spam.example\r\nSubject: Gewinnspiel\r\nMessage-Id: <long@x>\r\n\r\n";
    for (int i = 1; i <= bodyLines; ++i) text += "Zeile " + std::to_string(i) + " des Angebots\r\n";
    return text;
}

}  // namespace

TEST_F(ScanTest, NoServerMakesTheScanDeleteTheWrongMessageOrClaimWhatDidNotHappen) {
    // Dot-stuffed ".." before a bare LF is a line of the message, not its end.
    const std::string dots = "From: a@b\r\nSubject: Gewinnspiel\r\nMessage-Id: <d@x>\r\n\r\n"
                             "eins\r\n.\nzwei\r\n";
    const std::string dotsReply = "+OK\r\nFrom: a@b\r\nSubject: Gewinnspiel\r\nMessage-Id: <d@x>\r\n"
                                  "\r\neins\r\n..\nzwei\r\n.\r\n";
    const std::string twin = "From: t@x\r\nMessage-Id: <same@x>\r\n\r\nHallo\r\n";
    const std::string uid70(70, 'u');
    const std::string offerBox = "+OK 1 9\r\n";
    struct Case {
        const char *name;
        std::function<void(ScriptedServer &)> script;  // after the log-on
        int mode;
        std::string rowKey;      // of the one selected row (other modes)
        std::string column0;     // what row 0 says afterwards (prefix)
        CMailboxScan::Outcome outcome;
        bool deleSent, quitSent;
        size_t backups;
        bool tls = false;
        int stopAfterMs = 0;
    };
    const auto retrCut = [](ScriptedServer &s) {
        OpenBox(s, {Size(LongOffer(60))});
        s.Expect(Top(1)).Send(TopReply(LongOffer(25))).Expect(Retr(1)).Send(TopReply(LongOffer(40)))
            .Expect("Quit\r\n").Send("+OK\r\n");
    };
    const std::vector<Case> cases = {
        {"a leftover line answers QUIT",
         [](ScriptedServer &s) {
             OpenBox(s, {Size(kOffer)});
             s.Expect(Top(1)).Send(TopReply(kOffer)).Expect(Retr(1)).Send(TopReply(kOffer))
                 .Expect(Dele(1)).Send("+OK\r\n+OK\r\n").Pause(300).Send("-ERR\r\n");
         },
         List, "", "fehler beim löschen", CMailboxScan::Interrupted, true, false, 1},
        {"a stray reply answers RETR with another message",
         [](ScriptedServer &s) {
             OpenBox(s, {Size(kOffer)});
             // The stray comes after the client looked for unasked bytes.
             s.Expect(Top(1)).Send(TopReply(kOffer)).Pause(300).Send(TopReply(kAnna))
                 .Expect(Retr(1));
         },
         List, "", "fehler beim löschen", CMailboxScan::MessagesFailed, false, true, 0},
        {"a RETR cut short", retrCut, List, "", "fehler beim löschen",
         CMailboxScan::MessagesFailed, false, true, 0},
        {"'..' before a bare LF is data",
         [&](ScriptedServer &s) {
             OpenBox(s, {Size(dots)});
             s.Expect(Top(1)).Send(dotsReply).Expect(Retr(1)).Send(dotsReply).Expect(Dele(1))
                 .Send("+OK\r\n").Expect("Quit\r\n").Send("+OK\r\n");
         },
         List, "", "gelöscht=gewinnspiel", CMailboxScan::Scanned, true, true, 1},
        {"a message listed twice is one message",
         [](ScriptedServer &s) {
             s.Expect("CAPA\r\n").Send("-ERR\r\n").Expect("STAT\r\n").Send("+OK 2 9\r\n")
                 .Expect("LIST\r\n").Send("+OK\r\n1 " + std::to_string(Size(kOffer)) + "\r\n1 " +
                                           std::to_string(Size(kOffer)) + "\r\n.\r\n")
                 .Expect("UIDL\r\n").Send("-ERR\r\n").Expect(Top(1)).Send(TopReply(kOffer))
                 .Expect(Retr(1)).Send(TopReply(kOffer)).Expect(Dele(1)).Send("+OK\r\n")
                 .Expect("Quit\r\n").Send("+OK\r\n");
         },
         List, "", "gelöscht=gewinnspiel", CMailboxScan::Scanned, true, true, 1},
        {"QUIT sent and never answered",
         [](ScriptedServer &s) {
             OpenBox(s, {Size(kOffer)});
             s.Expect(Top(1)).Send(TopReply(kOffer)).Expect(Retr(1)).Send(TopReply(kOffer))
                 .Expect(Dele(1)).Send("+OK\r\n").Expect("Quit\r\n").Close();
         },
         List, "", "ungewiss: Server hat QUIT nicht beantwortet", CMailboxScan::Uncertain, true,
         true, 1},
        {"TLS dropped without close_notify after QUIT",
         [](ScriptedServer &s) {
             OpenBox(s, {Size(kOffer)});
             s.Expect(Top(1)).Send(TopReply(kOffer)).Expect(Retr(1)).Send(TopReply(kOffer))
                 .Expect(Dele(1)).Send("+OK\r\n").Expect("Quit\r\n").Send("+OK bye\r\n").Hangup();
         },
         List, "", "gelöscht=gewinnspiel", CMailboxScan::Scanned, true, true, 1, true},
        {"a RETR streaming far beyond its LIST size",
         [](ScriptedServer &s) {
             OpenBox(s, {Size(kOffer)});
             s.Expect(Top(1)).Send(TopReply(kOffer)).Expect(Retr(1)).Send("+OK\r\n");
             for (int i = 0; i < 120; ++i) s.Send(std::string(4000, 'x') + "\r\n").Pause(20);
         },
         List, "", "fehler beim löschen", CMailboxScan::Interrupted, false, false, 0},
        {"a stop during a slow RETR",
         [](ScriptedServer &s) {
             OpenBox(s, {1000000});
             s.Expect(Top(1)).Send(TopReply(kOffer)).Expect(Retr(1)).Send("+OK\r\n");
             for (int i = 0; i < 60; ++i) s.Send(std::string(100, 'x') + "\r\n").Pause(50);
         },
         List, "", "fehler beim löschen", CMailboxScan::Interrupted, false, false, 0, false, 300},
        {"a selected key that a message with a UIDL shares",
         [&](ScriptedServer &s) {
             s.Expect("CAPA\r\n").Send("-ERR\r\n").Expect("STAT\r\n").Send("+OK 2 9\r\n")
                 .Expect("LIST\r\n").Send(Listing({Size(twin), Size(twin)}))
                 .Expect("UIDL\r\n").Send("+OK\r\n1 uid-1\r\n.\r\n")
                 .Expect("TOP 1 0\r\n").Send(TopReply(twin)).Expect("TOP 2 0\r\n").Send(TopReply(twin))
                 .Expect("Quit\r\n").Send("+OK\r\n");
         },
         DeleteSelected, CMailboxScan::RowKeyFor("", Size(twin), " <same@x>"), "nicht eindeutig",
         CMailboxScan::Scanned, false, true, 0},
        {"a UIDL of 70 characters",
         [&](ScriptedServer &s) {
             s.Expect("CAPA\r\n").Send("-ERR\r\n").Expect("STAT\r\n").Send("+OK 1 9\r\n")
                 .Expect("LIST\r\n").Send(Listing({Size(kAnna)}))
                 .Expect("UIDL\r\n").Send("+OK\r\n1 " + uid70 + "\r\n.\r\n")
                 .Expect(Retr(1)).Send(TopReply(kAnna)).Expect(Dele(1)).Send("+OK\r\n")
                 .Expect("Quit\r\n").Send("+OK\r\n");
         },
         DeleteSelected, "U:" + uid70, "Gelöscht", CMailboxScan::Scanned, true, true, 1},
    };
    env.Patterns("gewinnspiel\n");
    TestCertificates certificates;
    ASSERT_TRUE(certificates.Ok()) << certificates.Error();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        for (const std::string &name : env.Backups()) std::remove((env.Dir() + "/" + name).c_str());
        ScriptedServer box;
        if (c.tls) box.EnableTls(certificates.Certificate("server"), certificates.Key("server"));
        box.LogOn();
        c.script(box);
        box.Start();
        CSettingsStore settings("pelloru");
        PointAt(settings, box.Port(), "user", "secret");
        if (c.tls) {
            settings.Write("HOST", "pop3s://127.0.0.1:" + std::to_string(box.Port()));
            settings.Write("CAFILE", certificates.CaFile());
        }
        MemoryList rows;
        if (c.mode != List) {
            rows.Fill({{"row", "", "", "", "", ""}});
            rows.keys = {c.rowKey};
            rows.selected = {0};
        }
        RecordingWindow shown;
        CMailboxScan scan(rows, shown, settings, "pelloru");
        scan.SetTimeouts(1, 2);
        std::atomic<bool> stop{false};
        scan.SetStopRequest(&stop);
        std::thread stopper;
        if (c.stopAfterMs > 0)
            stopper = std::thread([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(c.stopAfterMs));
                stop = true;
            });
        const auto start = std::chrono::steady_clock::now();
        scan.ScanMailbox(c.mode);
        const auto spent = std::chrono::steady_clock::now() - start;
        if (stopper.joinable()) stopper.join();
        box.Finish();
        settings.Write("CAFILE", "");
        // Ends soon, whatever the server keeps sending.
        EXPECT_LT(spent, std::chrono::milliseconds(1900));
        ASSERT_FALSE(rows.rows.empty());
        EXPECT_EQ(rows.rows[0][0].substr(0, c.column0.size()), c.column0) << rows.rows[0][0];
        EXPECT_EQ(scan.LastOutcome(), c.outcome);
        const std::string received = box.Received();
        EXPECT_EQ(received.find("DELE") != std::string::npos, c.deleSent) << received;
        EXPECT_EQ(received.find("Quit") != std::string::npos, c.quitSent) << received;
        EXPECT_EQ(env.Backups().size(), c.backups);
        // Every failure names its cause, never a bare number.
        std::vector<std::string> said = shown.rowFailures;
        said.insert(said.end(), shown.details.begin(), shown.details.end());
        for (const std::string &line : said) {
            EXPECT_EQ(line.find("Fehler 1"), std::string::npos) << line;
            EXPECT_GT(line.size(), 25u) << line;
        }
        if (c.outcome != CMailboxScan::Scanned) {
            EXPECT_FALSE(said.empty());
        }
    }
}
