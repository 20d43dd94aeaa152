// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>
#include <sstream>
#include <string>

#include "BatchMode.h"
#include "CMailboxScan.h"
#include "DovecotServer.h"
#include "IntrospectionServer.h"
#include "ScanTestSupport.h"
#include "TestFiles.h"

TEST(ScanDovecot, AListScanOfARealMailbox) {
    REQUIRE_DOVECOT();
    DovecotServer server;
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    std::vector<std::string> files = SampleMessages();
    ASSERT_EQ(files.size(), 8u);
    for (const std::string &path : files) ASSERT_TRUE(server.AddMessage(ReadBinaryFile(path)));

    ScanEnvironment env;
    // Matches 04 (a folded-free Outlook subject line) and 07 (the body).
    env.Patterns("  ignored: starts with a blank\nSubject:*Wartungsvertrag\nFoto vom Ausflug\n");
    CSettingsStore settings("pelloru");
    PointAt(settings, server.Port(), DovecotServer::kUser, DovecotServer::kPassword);
    MemoryList list;
    RecordingWindow window;
    BatchMode = 1;
    CMailboxScan(list, window, settings, "pelloru").ScanMailbox(List);
    BatchMode = 0;

    ASSERT_EQ(list.rows.size(), 8u);
    EXPECT_EQ(window.titles.back(), "pelloru - 8 von 8 E-Mails");
    // Maildir hands them out in delivery order, which is file order here.
    const auto &anna = list.shown[0];
    EXPECT_EQ(anna[0], "anna.beispiel@example.de");
    EXPECT_EQ(anna[1], " Anna Beispiel ");
    EXPECT_EQ(anna[3], " Termin am Donnerstag, bitte bis Mittwoch zurueckmelden");
    EXPECT_EQ(anna[5], " <5f3c2a1e-8b1d-4c7e-9a0b-3e2d1c0b9a87@example.de>");
    EXPECT_EQ(std::to_string(ToCrLf(ReadBinaryFile(files[0])).size()), anna[2]);
    EXPECT_EQ(list.shown[1][1], " Jürgen Müller ");
    EXPECT_EQ(list.rows[1][1], " Jürgen Müller ");  // UTF-8 from ISO-8859-1
    EXPECT_EQ(list.shown[1][3], " Schöne Grüße aus Köln");
    EXPECT_EQ(list.shown[2][1], " María García ");
    EXPECT_EQ(list.rows[4][5], " 1234.5678@shop.example <folded-id/with/slashes@shop.example>");
    EXPECT_EQ(list.rows[5][0], " broken@example.com");
    // The uuencoded message shows the text before its block, the MIME ones
    // their decoded text part.
    EXPECT_EQ(list.rows[7][4], "Here is the file.\nBye.");
    EXPECT_EQ(list.rows[2][4], "Hola, ahi va la factura.");
    EXPECT_EQ(list.shown[3][4].substr(0, 40), "Guten Tag,\n\nanbei unser Angebot für den");

    // The two matching messages are gone from the server, with backups
    // holding exactly the TOP text.
    EXPECT_EQ(list.shown[3][0], "gelöscht=Subject:*Wartungsvertrag");
    EXPECT_EQ(list.shown[6][0], "gelöscht=Foto vom Ausflug");
    // The server expunges after QUIT, a moment after the scan has gone.
    for (int i = 0; i < 100 && server.CountMessages() != 6; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(server.CountMessages(), 6);
    std::vector<std::string> backups = env.Backups();
    ASSERT_EQ(backups.size(), 2u);
    for (const std::string &name : backups) {
        EXPECT_EQ(name.find("_ "), std::string::npos) << "the Message-Id's blank stays out of the name";
        const bool outlook = name.find("AM0PR07MB") != std::string::npos;
        const std::string expected = ToCrLf(ReadBinaryFile(files[outlook ? 3 : 6]));
        EXPECT_EQ(ReadBinaryFile(env.Dir() + "/" + name), expected) << name;
    }
}

namespace {

// A message with lines of 1,021 to 3,000 characters whose dots fall where a
// line read cuts them into pieces, and, when asked, a body of more than 25
// lines with a NUL byte in it: what a TOP does not hold.
std::string LongLineMessage(const std::string &id, const std::string &subject, bool bulky) {
    std::string text = "From: Tester <t@example.org>\r\n";
    if (!id.empty()) text += "Message-Id: " + id + "\r\n";
    text += "Subject: " + subject + "\r\n\r\n";
    for (int length : {1021, 1022, 1023, 1024, 2045, 3000}) {
        text += std::string(static_cast<size_t>(length - 1), 'x') + ".\r\n";
        text += "." + std::string(static_cast<size_t>(length - 1), 'y') + "\r\n";
        text += ".\r\n" + std::string(1022, 'z') + "." + std::string(static_cast<size_t>(length), 'w') +
                "\r\n";
    }
    if (bulky) {
        for (int i = 0; i < 2000; ++i) text += "attachment line " + std::to_string(i) + "\r\n";
        text += std::string("NUL\0here\r\n", 10);
    }
    return text;
}

}  // namespace

TEST(ScanDovecot, ABatchScanLeavesExactlyTheUnmatchedAndSelectedRowsActAlone) {
    REQUIRE_DOVECOT();
    DovecotServer server;
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    const std::vector<std::string> keep = {LongLineMessage("<keep@x>", "bleibt", true),
                                           LongLineMessage("", "ohne Kennung eins", false),
                                           LongLineMessage("", "ohne Kennung zwei", false)};
    const std::vector<std::string> drop = {LongLineMessage("<drop1@x>", "LOESCHMICH eins", true),
                                           LongLineMessage("", "LOESCHMICH ohne Kennung", true)};
    for (const std::string &message : {keep[0], drop[0], keep[1], drop[1], keep[2]})
        ASSERT_TRUE(server.AddMessage(message));

    ScanEnvironment env;
    env.Patterns("Subject:*LOESCHMICH\n");
    CSettingsStore settings("pelloru");
    PointAt(settings, server.Port(), DovecotServer::kUser, DovecotServer::kPassword);
    MemoryList list;
    RecordingWindow window;
    BatchMode = 1;
    CMailboxScan batch(list, window, settings, "pelloru");
    batch.ScanMailbox(List);
    BatchMode = 0;
    EXPECT_EQ(batch.LastOutcome(), CMailboxScan::Scanned);
    ASSERT_EQ(list.rows.size(), 5u);
    EXPECT_EQ(list.shown[1][0], "gelöscht=Subject:*LOESCHMICH");
    EXPECT_EQ(list.shown[3][0], "gelöscht=Subject:*LOESCHMICH");
    EXPECT_EQ(list.shown[2][3], " ohne Kennung eins");  // rows stay with their messages

    // On the server exactly the messages that match nothing; here a whole,
    // byte-identical backup of each one deleted.
    ASSERT_TRUE(server.WaitForCount(3));
    std::vector<std::string> expected = keep;
    std::sort(expected.begin(), expected.end());
    EXPECT_TRUE(server.Messages() == expected);
    std::vector<std::string> backups;
    for (const std::string &name : env.Backups()) backups.push_back(ReadBinaryFile(name));
    std::sort(backups.begin(), backups.end());
    std::vector<std::string> dropped = drop;
    std::sort(dropped.begin(), dropped.end());
    EXPECT_TRUE(backups == dropped) << backups.size() << " backups";

    // A new list; the row of one message without Message-Id is selected:
    // "Löschen" deletes that one and no other.
    CMailboxScan(list, window, settings, "pelloru").ScanMailbox(List);
    ASSERT_EQ(list.rows.size(), 3u);
    ASSERT_EQ(list.shown[1][3], " ohne Kennung eins");
    EXPECT_EQ(list.rows[1][5], "");
    list.selected = {1};
    CMailboxScan(list, window, settings, "pelloru").ScanMailbox(DeleteSelected);
    EXPECT_EQ(list.rows[1][0], "Gelöscht");
    ASSERT_TRUE(server.WaitForCount(2));
    std::vector<std::string> left = {keep[0], keep[2]};
    std::sort(left.begin(), left.end());
    EXPECT_TRUE(server.Messages() == left);
    EXPECT_TRUE(window.boxes.empty());
}

TEST(ScanDovecot, APipelinedScanShowsAndDeletesWhatASequentialOneDoes) {
    REQUIRE_DOVECOT();
    DovecotServer server;
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    // More messages than one window, with matches in several windows.
    std::vector<std::string> mailbox;
    const std::vector<std::string> files = SampleMessages();
    for (int i = 0; i < 120; ++i) mailbox.push_back(ReadBinaryFile(files[static_cast<size_t>(i) % files.size()]));
    ScanEnvironment env;
    env.Patterns("Subject:*Wartungsvertrag\n");
    CSettingsStore settings("pelloru");
    PointAt(settings, server.Port(), DovecotServer::kUser, DovecotServer::kPassword);

    std::vector<std::vector<std::string>> rows[2];
    std::vector<std::string> backups[2];
    for (int window : {1, CMailboxScan::kWindow}) {
        const int run = window == 1 ? 0 : 1;
        server.ClearMailbox();
        for (const std::string &message : mailbox) ASSERT_TRUE(server.AddMessage(message));
        for (const std::string &name : env.Backups()) std::remove(name.c_str());
        MemoryList list;
        RecordingWindow shown;
        CMailboxScan scan(list, shown, settings, "pelloru");
        scan.SetWindow(window);
        scan.ScanMailbox(List);
        EXPECT_EQ(scan.LastOutcome(), CMailboxScan::Scanned);
        EXPECT_TRUE(shown.boxes.empty());
        rows[run] = list.rows;
        for (const std::string &name : env.Backups()) backups[run].push_back(ReadBinaryFile(name));
        std::sort(backups[run].begin(), backups[run].end());
        ASSERT_TRUE(server.WaitForCount(105));  // 15 offers matched
    }
    ASSERT_EQ(rows[0].size(), 120u);
    EXPECT_TRUE(rows[0] == rows[1]);
    EXPECT_EQ(backups[0].size(), 15u);
    EXPECT_TRUE(backups[0] == backups[1]);
}

TEST(ScanDovecot, ADryRunShowsWhatWouldGoAndDeletesNothing) {
    REQUIRE_DOVECOT();
    DovecotServer server;
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    for (const std::string &path : SampleMessages()) ASSERT_TRUE(server.AddMessage(ReadBinaryFile(path)));
    ScanEnvironment env;
    env.Patterns("Subject:*Wartungsvertrag\nFoto vom Ausflug\n");
    CSettingsStore settings("pelloru");
    PointAt(settings, server.Port(), DovecotServer::kUser, DovecotServer::kPassword);
    MemoryList list;
    RecordingWindow window;
    CMailboxScan scan(list, window, settings, "pelloru");
    scan.SetDryRun(true);
    scan.ScanMailbox(List);
    EXPECT_EQ(scan.LastOutcome(), CMailboxScan::Scanned);
    ASSERT_EQ(list.rows.size(), 8u);
    EXPECT_EQ(list.shown[3][0], "würde gelöscht=Subject:*Wartungsvertrag");
    EXPECT_EQ(list.shown[6][0], "würde gelöscht=Foto vom Ausflug");
    EXPECT_EQ(list.shown[3][1], " \"Schmidt, Peter\" ");
    EXPECT_TRUE(env.Backups().empty());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(server.CountMessages(), 8);
}

TEST(ScanDovecot, PasswordsAndTokensComeFromTheirCommands) {
    REQUIRE_DOVECOT();
    IntrospectionServer introspection;
    ASSERT_GT(introspection.Port(), 0) << "introspect.py did not start";
    DovecotServer server;
    server.EnableOAuth2(introspection.Url());
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    ASSERT_TRUE(server.AddMessage("Subject: eins\r\nMessage-Id: <1@x>\r\n\r\nText\r\n"));
    ScanEnvironment env;
    CSettingsStore settings("pelloru");
    struct Case {
        const char *passwordCommand, *tokenCommand;
        CMailboxScan::Outcome outcome;
        const char *reason;
    };
    const Case cases[] = {
        {"printf 'geheim-42\\nnoch etwas\\n'", "", CMailboxScan::Scanned, ""},
        {"echo falsch", "", CMailboxScan::ConnectionFailed, "lehnte die Anmeldung ab"},
        {"exit 3", "", CMailboxScan::ConnectionFailed, "(PASSCMD) ist gescheitert: Exit-Status 3"},
        {"", "echo gueltig", CMailboxScan::Scanned, ""},
        {"", "echo abgelaufen", CMailboxScan::ConnectionFailed, "Begründung: {\"status\""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.passwordCommand) + c.tokenCommand);
        // The profile's password is wrong: only the command's may work.
        PointAt(settings, server.Port(), DovecotServer::kUser, "nicht-dieses");
        settings.Write("PASSCMD", c.passwordCommand);
        settings.Write("TOKENCMD", c.tokenCommand);
        MemoryList list;
        RecordingWindow window;
        CMailboxScan scan(list, window, settings, "pelloru");
        scan.ScanMailbox(List);
        EXPECT_EQ(scan.LastOutcome(), c.outcome);
        EXPECT_NE(scan.LastReason().find(c.reason), std::string::npos) << scan.LastReason();
        EXPECT_EQ(list.rows.size(), c.outcome == CMailboxScan::Scanned ? 1u : 0u);
    }
}

namespace {

// Between the scan and Dovecot on loopback: passes everything, except that
// it cuts each RETR reply short after about `keep` bytes of the message, at
// a line end, and ends it there, as a server does that loses part of a
// message. The rest of the real reply is dropped.
class CuttingProxy {
public:
    CuttingProxy(int serverPort, size_t keep) : m_serverPort(serverPort), m_keep(keep) {
        m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_listen, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::listen(m_listen, 1);
        ::getsockname(m_listen, reinterpret_cast<sockaddr *>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Run(); });
    }
    ~CuttingProxy() {
        m_stop = true;
        m_thread.join();
        ::close(m_listen);
    }
    int Port() const { return m_port; }

private:
    void Run() {
        pollfd wait{m_listen, POLLIN, 0};
        if (::poll(&wait, 1, 10000) <= 0) return;
        const int client = ::accept(m_listen, nullptr, nullptr);
        const int server = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<uint16_t>(m_serverPort));
        if (client < 0 || ::connect(server, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
            ::close(client), ::close(server);
            return;
        }
        std::string fromServer;
        bool inRetr = false, cutDone = false;
        size_t passed = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!m_stop && std::chrono::steady_clock::now() < deadline) {
            pollfd both[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
            if (::poll(both, 2, 100) <= 0) continue;
            char buffer[8192];
            if (both[0].revents != 0) {
                const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
                if (n <= 0) break;
                if (std::string(buffer, static_cast<size_t>(n)).find("RETR") != std::string::npos)
                    inRetr = true, cutDone = false, passed = 0;
                ::send(server, buffer, static_cast<size_t>(n), MSG_NOSIGNAL);
            }
            if (both[1].revents != 0) {
                const ssize_t n = ::recv(server, buffer, sizeof buffer, 0);
                if (n <= 0) break;
                std::string out;
                for (ssize_t i = 0; i < n; ++i) {
                    const char c = buffer[i];
                    if (!inRetr) {
                        out += c;
                        continue;
                    }
                    fromServer += c;
                    if (!cutDone) {
                        out += c;
                        if (++passed >= m_keep && c == '\n') out += ".\r\n", cutDone = true;
                    }
                    if (fromServer.size() >= 5 && fromServer.compare(fromServer.size() - 5, 5, "\r\n.\r\n") == 0) {
                        if (!cutDone) cutDone = true;  // shorter than the cut: passed whole
                        inRetr = false;
                        fromServer.clear();
                    }
                }
                ::send(client, out.data(), out.size(), MSG_NOSIGNAL);
            }
        }
        ::close(client);
        ::close(server);
    }

    int m_serverPort;
    size_t m_keep;
    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

}  // namespace

TEST(ScanDovecot, ARetrievalCutShortDeletesNothing) {
    REQUIRE_DOVECOT();
    DovecotServer server;
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    // A large matched message, and one without a final line end (whose
    // size servers give 2 bytes short): the latter is whole and goes.
    std::string large = "From: spam@example.org\r\nSubject: Gewinnspiel\r\nMessage-Id: <large@x>\r\n\r\n";
    for (int i = 0; i < 2000; ++i) large += ">From the offer, line " + std::to_string(i) + "\r\n";
    ASSERT_TRUE(server.AddMessage(large));
    ScanEnvironment env;
    env.Patterns("Gewinnspiel\n");
    CSettingsStore settings("pelloru");
    MemoryList list;
    RecordingWindow window;
    {
        CuttingProxy proxy(server.Port(), 8000);
        PointAt(settings, proxy.Port(), DovecotServer::kUser, DovecotServer::kPassword);
        CMailboxScan scan(list, window, settings, "pelloru");
        scan.ScanMailbox(List);
        EXPECT_EQ(scan.LastOutcome(), CMailboxScan::MessagesFailed);
    }
    ASSERT_EQ(list.rows.size(), 1u);
    EXPECT_EQ(list.rows[0][0].rfind("fehler beim löschen", 0), 0u) << list.rows[0][0];
    ASSERT_EQ(window.rowFailures.size(), 1u);
    EXPECT_NE(window.rowFailures[0].find("abgeschnitten"), std::string::npos) << window.rowFailures[0];
    EXPECT_TRUE(env.Backups().empty());
    EXPECT_EQ(server.CountMessages(), 1);

    // Without the proxy the same message is whole, proven and deleted, and
    // so is one whose last line has no line end.
    ASSERT_TRUE(server.AddMessage("From: b@x\r\nSubject: Gewinnspiel ohne Zeilenende\r\n\r\nletzte Zeile"));
    PointAt(settings, server.Port(), DovecotServer::kUser, DovecotServer::kPassword);
    MemoryList whole;
    CMailboxScan scan(whole, window, settings, "pelloru");
    scan.ScanMailbox(List);
    EXPECT_EQ(scan.LastOutcome(), CMailboxScan::Scanned);
    EXPECT_EQ(server.CountMessages(), 0);
    EXPECT_EQ(env.Backups().size(), 2u);
}

// A pattern matches every message here; the allow-list keeps those whose
// sender's address (From, Sender or Reply-To, within < >) it names, in a
// dry run and in a real one alike, and a display name that only looks
// like an allowed address keeps nothing.
TEST(ScanAllowList, KeepsMailFromAllowedSendersWhateverTheDisplayNameSays) {
    REQUIRE_DOVECOT();
    struct Case {
        const char *headers;
        const char *row;  // column 0 after the dry run
    };
    const Case cases[] = {
        {"From: friend@example.de", "behalten=friend@example.de"},
        {"From: =?UTF-8?B?RnJldW5kIE3DvGxsZXI=?= <FRIEND@Example.DE>", "behalten=friend@example.de"},
        {"From: Kollegin <jana@freunde.example>", "behalten=*@freunde.example"},
        {"From: \"friend@example.de\" <spam@evil.example>", "würde gelöscht=Subject:*Gewinn"},
        {"From: friend@example.de <spam@evil.example>", "würde gelöscht=Subject:*Gewinn"},
        {"From: spam@evil.example (friend@example.de)", "würde gelöscht=Subject:*Gewinn"},
        {"From: spam@evil.example\r\nSender: friend@example.de", "behalten=friend@example.de"},
        {"From: spam@evil.example\r\nReply-To: Jana <jana@freunde.example>", "behalten=*@freunde.example"},
        {"From: spam@freunde.example.evil", "würde gelöscht=Subject:*Gewinn"},
    };
    DovecotServer server;
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    int n = 0;
    for (const Case &c : cases)
        ASSERT_TRUE(server.AddMessage(std::string(c.headers) + "\r\nSubject: Gewinn\r\nMessage-Id: <a" +
                                      std::to_string(++n) + "@x>\r\n\r\nText\r\n"));
    ScanEnvironment env;
    env.Patterns("Subject:*Gewinn\n");
    std::ofstream(env.Dir() + "/nie_loeschen.txt") << "friend@example.de\n*@freunde.example\n";
    CSettingsStore settings("pelloru");
    PointAt(settings, server.Port(), DovecotServer::kUser, DovecotServer::kPassword);
    for (const bool dryRun : {true, false}) {
        MemoryList list;
        RecordingWindow window;
        CMailboxScan scan(list, window, settings, "pelloru");
        scan.SetDryRun(dryRun);
        BatchMode = 1;
        scan.ScanMailbox(List);
        BatchMode = 0;
        ASSERT_EQ(list.rows.size(), std::size(cases));
        for (size_t i = 0; i < std::size(cases); ++i) {
            SCOPED_TRACE(cases[i].headers);
            std::string expected = cases[i].row;
            if (!dryRun && expected.rfind("würde ", 0) == 0) expected = expected.substr(std::string("würde ").size());
            EXPECT_EQ(list.shown[i][0], expected);
        }
    }
    EXPECT_TRUE(server.WaitForCount(5));
}
