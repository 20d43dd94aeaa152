// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "BatchMode.h"
#include "CAccountLock.h"
#include "CHeadlessRun.h"
#include "CIdleWatch.h"
#include "CMailboxScan.h"
#include "CUT_ImapSession.h"
#include "CScanConfig.h"
#include "DovecotServer.h"
#include "ScanTestSupport.h"
#include "ScriptedServer.h"
#include "TestCertificates.h"
#include "TestFiles.h"

namespace {

// Column 0 of a row whose message was only flagged, or whose removal is in doubt.
const std::string kFlagged = RowStateText(RowState::Flagged);
const std::string kUncertainRemoval = RowStateText(RowState::UncertainRemoval);

#define REQUIRE_DOVECOT_IMAP()                                             \
    do {                                                                   \
        std::string why_ = DovecotServer::ImapUnavailable();               \
        if (!why_.empty()) {                                               \
            if (std::getenv("CI") != nullptr) FAIL() << why_;              \
            GTEST_SKIP() << why_;                                          \
        }                                                                  \
    } while (0)

// A message another client flagged \Deleted and nobody expunged yet.
const char *const kFlaggedByOthers = "Subject: noch da\r\nMessage-Id: <andere@x>\r\n\r\nbleibt\r\n";

void PointAtImap(CSettingsStore &settings, const std::string &scheme, int port, const std::string &caFile) {
    settings.Write("HOST", scheme + "://127.0.0.1:" + std::to_string(port));
    settings.Write("USER", DovecotServer::kUser);
    settings.Write("PASS", CSettingsStore::ComplementPassword(DovecotServer::kPassword));
    settings.Write("CAFILE", caFile);
}

// The account of a scripted IMAP server over TLS (user "pelloru").
void PointAtScripted(CSettingsStore &settings, int port, const std::string &caFile) {
    settings.Write("HOST", "imaps://127.0.0.1:" + std::to_string(port));
    settings.Write("USER", "pelloru");
    settings.Write("PASS", CSettingsStore::ComplementPassword("geheim"));
    settings.Write("CAFILE", caFile);
}

// One list scan as an unattended run makes it, with short waits.
void ScanUnattended(CMailboxScan &scan) {
    BatchMode = 1;
    scan.SetTimeouts(2, 5);
    scan.ScanMailbox(List);
    BatchMode = 0;
}

// A Dovecot serving IMAP over TLS (MOVE, UIDPLUS), with the certificates
// it was made with.
struct TlsImapServer {
    TestCertificates certificates;
    DovecotServer server;
    std::string error;
    bool Start() {
        if (!certificates.Ok()) {
            error = certificates.Error();
            return false;
        }
        server.EnableTls(certificates.Certificate("server"), certificates.Key("server"));
        server.EnableImap();
        return server.Start(&error);
    }
};

}  // namespace

// The eight sample messages and one that another client flagged \Deleted;
// two samples match. Whatever the server offers, the matches leave the
// inbox only as far as it allows without touching other mail, with whole
// backups, and the rows say what happened.
TEST(ScanImap, MatchesLeaveTheInboxAsTheServerAllows) {
    REQUIRE_DOVECOT_IMAP();
    TestCertificates certificates;
    ASSERT_TRUE(certificates.Ok()) << certificates.Error();
    struct Case {
        bool move, uidplus;
        const char *scheme, *matches;
        const char *mark;
        int inboxAfter, junkAfter;
    };
    const Case cases[] = {
        {true, true, "imaps", "", "verschoben=", 7, 2},
        {false, true, "imap", "move", "verschoben=", 7, 2},
        {false, false, "imaps", "", kFlagged.c_str(), 9, 2},
        {true, true, "imaps", "delete", "gelöscht=", 7, 0},
        {true, false, "imaps", "delete", kFlagged.c_str(), 9, 0},
    };
    const std::vector<std::string> files = SampleMessages();
    ASSERT_EQ(files.size(), 8u);
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.scheme) + (c.move ? " MOVE" : "") + (c.uidplus ? " UIDPLUS " : " ") + c.matches);
        DovecotServer server;
        server.EnableTls(certificates.Certificate("server"), certificates.Key("server"));
        server.EnableImap(c.move, c.uidplus);
        std::string error;
        ASSERT_TRUE(server.Start(&error)) << error;
        for (const std::string &path : files) ASSERT_TRUE(server.AddMessage(ReadBinaryFile(path)));
        ASSERT_TRUE(server.AddMessage(kFlaggedByOthers, "T"));
        ScanEnvironment env;
        env.Patterns("Subject:*Wartungsvertrag\nFoto vom Ausflug\n");
        CSettingsStore settings("pelloru");
        PointAtImap(settings, c.scheme, std::string(c.scheme) == "imaps" ? server.ImapsPort() : server.ImapPort(),
                    certificates.CaFile());
        settings.Write("MATCHES", c.matches);
        MemoryList list;
        RecordingWindow window;
        BatchMode = 1;
        CMailboxScan scan(list, window, settings, "pelloru");
        scan.ScanMailbox(List);
        BatchMode = 0;
        EXPECT_EQ(scan.LastOutcome(), CMailboxScan::Scanned) << scan.LastReason();
        ASSERT_EQ(list.rows.size(), 9u);
        EXPECT_EQ(list.shown[3][0], std::string(c.mark) + "Subject:*Wartungsvertrag");
        EXPECT_EQ(list.shown[6][0], std::string(c.mark) + "Foto vom Ausflug");
        EXPECT_EQ(list.shown[8][3], " noch da");
        EXPECT_EQ(list.keys[0].rfind("U:", 0), 0u);
        EXPECT_EQ(server.CountMessages(), c.inboxAfter);
        EXPECT_EQ(server.CountMessagesIn("Junk"), c.junkAfter);
        const std::vector<std::string> backups = env.Backups();
        ASSERT_EQ(backups.size(), 2u);
        for (const std::string &name : backups) {
            const bool outlook = name.find("AM0PR07MB") != std::string::npos;
            EXPECT_EQ(ReadBinaryFile(env.Dir() + "/" + name), ToCrLf(ReadBinaryFile(files[outlook ? 3 : 6]))) << name;
        }
    }
}

// Over IMAP a mailbox gives the rows it gives over POP3, and a dry run
// (EXAMINE, BODY.PEEK) leaves every flag as it was.
TEST(ScanImap, ADryRunShowsThePop3RowsAndChangesNoFlag) {
    REQUIRE_DOVECOT_IMAP();
    TlsImapServer imap;
    ASSERT_TRUE(imap.Start()) << imap.error;
    DovecotServer &server = imap.server;
    const TestCertificates &certificates = imap.certificates;
    for (const std::string &path : SampleMessages()) ASSERT_TRUE(server.AddMessage(ReadBinaryFile(path)));
    ASSERT_TRUE(server.AddMessage(kFlaggedByOthers, "T"));
    // Long lines: its 25 lines reach past the first part IMAP asks for,
    // and a pattern sees the twentieth as over POP3.
    std::string wide = "Subject: breit\r\nMessage-Id: <breit@x>\r\n\r\n";
    for (int line = 1; line <= 30; ++line)
        wide += (line == 20 ? std::string("Bitte Kontonummer bestaetigen ") : std::string()) + std::string(400, 'x') + "\r\n";
    ASSERT_TRUE(server.AddMessage(wide));
    ScanEnvironment env;
    env.Patterns("Subject:*Wartungsvertrag\n*Kontonummer bestaetigen*\n");
    const std::vector<std::string> flagsBefore = server.FlagsOfMessages();

    auto rowsOver = [&](bool imap) {
        CSettingsStore settings("pelloru");
        if (imap)
            PointAtImap(settings, "imaps", server.ImapsPort(), certificates.CaFile());
        else
            PointAt(settings, server.Port(), DovecotServer::kUser, DovecotServer::kPassword);
        MemoryList list;
        RecordingWindow window;
        CMailboxScan scan(list, window, settings, "pelloru");
        scan.SetDryRun(true);
        scan.ScanMailbox(List);
        EXPECT_EQ(scan.LastOutcome(), CMailboxScan::Scanned) << scan.LastReason();
        return list.shown;
    };
    const auto overImap = rowsOver(true);
    EXPECT_EQ(server.FlagsOfMessages(), flagsBefore);
    const auto overPop3 = rowsOver(false);
    ASSERT_EQ(overImap.size(), 10u);
    EXPECT_EQ(overImap, overPop3);
    EXPECT_EQ(overImap[3][0], "würde gelöscht=Subject:*Wartungsvertrag");
    EXPECT_EQ(overImap[9][0], "würde gelöscht=*Kontonummer bestaetigen*");
    EXPECT_EQ(server.CountMessages(), 10);
    EXPECT_TRUE(env.Backups().empty());
}

// Faults no real server makes on purpose: a preview reply split into
// pieces of a few bytes, a tagged reply to no command sent, and a refused
// MOVE. Only the first one may move the matched message.
TEST(ScanImap, ScriptedFaultsMoveNothingThatIsNotProven) {
    TestCertificates certificates;
    ASSERT_TRUE(certificates.Ok()) << certificates.Error();
    const std::string spam = "Subject: Gewinn\r\nMessage-Id: <5@x>\r\n\r\nSie haben gewonnen\r\n";
    const std::string ham = "Subject: Hallo\r\nMessage-Id: <6@x>\r\n\r\nBis bald\r\n";
    auto literal = [](const std::string &bytes) { return "{" + std::to_string(bytes.size()) + "}\r\n" + bytes; };
    auto preview = [&](int number, int uid, const std::string &message) {
        const size_t split = message.find("\r\n\r\n") + 4;
        return "* " + std::to_string(number) + " FETCH (UID " + std::to_string(uid) + " RFC822.SIZE " +
               std::to_string(message.size()) + " BODY[HEADER] " + literal(message.substr(0, split)) +
               " BODY[TEXT]<0> " + literal(message.substr(split)) + ")\r\n";
    };
    const std::string previews = preview(1, 5, spam) + preview(2, 6, ham) + "p4 OK fertig\r\n";
    enum Fault { Split, Unplaced, Unasked, HugeHeader, MoveRefused, ExpungeRefused, EarlyAnswer, ByeAfterMove, OkWithoutExpunge, NoSpamFolder, UmlautFolder };
    struct Case {
        Fault fault;
        const char *row0;
        CMailboxScan::Outcome outcome;
        size_t backups;
    };
    const Case cases[] = {
        {Split, "verschoben=Subject:*Gewinn", CMailboxScan::Scanned, 1},
        {Unplaced, "", CMailboxScan::Interrupted, 0},
        // Data for a message nobody asked for is not kept, nor read on.
        {Unasked, "", CMailboxScan::Interrupted, 0},
        // A header far larger than its listed message is not read in.
        {HugeHeader, "", CMailboxScan::Interrupted, 0},
        {MoveRefused, "fehler beim löschen", CMailboxScan::MessagesFailed, 0},
        // Flagged but not expunged: another client may still expunge it,
        // so its backup stays.
        {ExpungeRefused, "fehler beim löschen", CMailboxScan::MessagesFailed, 1},
        // A tagged OK that came before its command is no answer to it: the
        // command is not sent.
        {EarlyAnswer, "fehler beim löschen", CMailboxScan::Interrupted, 1},
        // Sent, and then the server left, or said OK without naming the
        // message as expunged: it may have moved it.
        {ByeAfterMove, kUncertainRemoval.c_str(), CMailboxScan::Uncertain, 1},
        {OkWithoutExpunge, kUncertainRemoval.c_str(), CMailboxScan::Uncertain, 1},
        // Nowhere to move it: the message is not fetched for a backup that
        // would only pile up.
        {NoSpamFolder, "fehler beim löschen", CMailboxScan::MessagesFailed, 0},
        // A folder name typed with umlauts goes in IMAP's own form.
        {UmlautFolder, "verschoben=Subject:*Gewinn", CMailboxScan::Scanned, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.fault);
        ScriptedServer server;
        server.EnableTls(certificates.Certificate("server"), certificates.Key("server"));
        server.Send("* OK [CAPABILITY IMAP4rev1 MOVE UIDPLUS] bereit\r\n")
            .Expect("p1 LOGIN \"pelloru\" \"geheim\"\r\n")
            .Send("p1 OK [CAPABILITY IMAP4rev1 MOVE UIDPLUS] angemeldet\r\n")
            .Expect("p2 SELECT \"INBOX\"\r\n")
            .Send("* 2 EXISTS\r\n* OK [UIDVALIDITY 77] gut\r\np2 OK [READ-WRITE] fertig\r\n")
            .Expect("p3 UID FETCH 1:* (UID RFC822.SIZE)\r\n")
            .Send("* 1 FETCH (UID 5 RFC822.SIZE " + std::to_string(spam.size()) + ")\r\n* 2 FETCH (UID 6 RFC822.SIZE " +
                  std::to_string(ham.size()) + ")\r\np3 OK fertig\r\n")
            .Expect("p4 UID FETCH 5:6 (UID RFC822.SIZE BODY.PEEK[HEADER] BODY.PEEK[TEXT]<0.4096>)\r\n");
        if (c.fault == Unplaced) {
            server.Send("p9 OK wofür?\r\n" + previews);
        } else if (c.fault == Unasked) {
            server.Send(preview(3, 1000001, spam) + previews);
        } else if (c.fault == HugeHeader) {
            server.Send("* 1 FETCH (UID 5 RFC822.SIZE " + std::to_string(spam.size()) + " BODY[HEADER] " +
                        literal("X: " + std::string(70000, 'a') + "\r\n\r\n") + ")\r\n");
        } else {
            if (c.fault == Split)
                server.SendSplit(previews, 7, 2);
            else
                server.Send(previews);
            if (c.fault == NoSpamFolder)
                server.Expect("p5 LIST \"\" \"*\"\r\n")
                    .Send("* LIST (\\HasNoChildren) \"/\" INBOX\r\np5 OK fertig\r\n")
                    .Expect("p6 LOGOUT\r\n");
            else
                server.Expect("p5 UID FETCH 5 (UID BODY.PEEK[])\r\n")
                    .Send("* 1 FETCH (UID 5 BODY[] " + literal(spam) + ")\r\np5 OK fertig\r\n" +
                          (c.fault == EarlyAnswer ? "p6 OK [COPYUID 9 5 1] verschoben\r\n" : ""));
            if (c.fault == ExpungeRefused)
                server.Expect("p6 UID STORE 5 +FLAGS.SILENT (\\Deleted)\r\n")
                    .Send("p6 OK markiert\r\n")
                    .Expect("p7 UID EXPUNGE 5\r\n")
                    .Send("p7 NO nicht jetzt\r\n")
                    .Expect("p8 LOGOUT\r\n");
            else if (c.fault == ByeAfterMove)
                server.Expect("p6 UID MOVE 5 \"Junk\"\r\n").Send("* BYE muss weg\r\n");
            else if (c.fault != EarlyAnswer && c.fault != NoSpamFolder)
                server.Expect(c.fault == UmlautFolder ? "p6 UID MOVE 5 \"Spam-&AMQ-rger\"\r\n" : "p6 UID MOVE 5 \"Junk\"\r\n")
                    .Send(c.fault == Split || c.fault == UmlautFolder ? "* OK [COPYUID 9 5 1] kopiert\r\n* 1 EXPUNGE\r\np6 OK verschoben\r\n"
                          : c.fault == OkWithoutExpunge ? "p6 OK [COPYUID 9 5 1] verschoben\r\n"
                                                        : "p6 NO [TRYCREATE] gibt es nicht\r\n")
                    .Expect("p7 LOGOUT\r\n");
        }
        server.Start();
        ScanEnvironment env;
        env.Patterns("Subject:*Gewinn\n");
        CSettingsStore settings("pelloru");
        PointAtScripted(settings, server.Port(), certificates.CaFile());
        settings.Write("SPAMFOLDER", c.fault == NoSpamFolder ? "" : c.fault == UmlautFolder ? "Spam-Ärger" : "Junk");
        settings.Write("MATCHES", c.fault == ExpungeRefused ? "delete" : "");
        MemoryList list;
        RecordingWindow window;
        CMailboxScan scan(list, window, settings, "pelloru");
        ScanUnattended(scan);
        server.Finish();
        // (A header refused at its size is not read: the server's write of it fails.)
        for (const std::string &failure : server.Failures())
            if (c.fault != HugeHeader || failure != "send failed") ADD_FAILURE() << failure;
        EXPECT_EQ(scan.LastOutcome(), c.outcome) << scan.LastReason();
        // After a reply it cannot place the client sends nothing more.
        if (c.fault == Unplaced || c.fault == Unasked || c.fault == HugeHeader) {
            EXPECT_EQ(server.Received().find("p5"), std::string::npos);
        }
        if (c.fault == EarlyAnswer || c.fault == ByeAfterMove) {
            EXPECT_EQ(server.Received().find(c.fault == EarlyAnswer ? "p6" : "p7"), std::string::npos);
        }
        // The reason says what is known.
        std::string said = scan.LastReason();
        for (const std::string &line : window.rowFailures) said += "\n" + line;
        const char *const expected = c.fault == EarlyAnswer                        ? "lagen Bytes an"
                                     : c.fault == Unasked                   ? "nicht gefragt"
                                     : c.fault == NoSpamFolder              ? "Kein Spam-Ordner"
                                     : c.outcome == CMailboxScan::Uncertain ? "ungewiss"
                                                                            : "";
        EXPECT_NE(said.find(expected), std::string::npos) << said;
        ASSERT_FALSE(list.rows.empty());
        EXPECT_EQ(list.shown[0][0], c.row0);
        EXPECT_EQ(env.Backups().size(), c.backups);
        // (A lost step ends the scan at the message in hand.)
        if (c.fault != Unplaced && c.fault != Unasked && c.fault != HugeHeader && c.fault != EarlyAnswer && c.fault != ByeAfterMove) {
            ASSERT_EQ(list.rows.size(), 2u);
            EXPECT_EQ(list.shown[1][3], " Hallo");
        }
    }
}

// A large message goes into its backup as it arrives, every byte of it.
TEST(ScanImap, ALargeMessageIsBackedUpWhole) {
    REQUIRE_DOVECOT_IMAP();
    TlsImapServer imap;
    ASSERT_TRUE(imap.Start()) << imap.error;
    DovecotServer &server = imap.server;
    const TestCertificates &certificates = imap.certificates;
    std::string message = "Subject: Großes Angebot\r\nMessage-Id: <gross@x>\r\n\r\n";
    for (int i = 0; message.size() < 3u << 20; ++i) message += "Zeile " + std::to_string(i) + " " + std::string(70, 'x') + "\r\n";
    ASSERT_TRUE(server.AddMessage(message));
    ScanEnvironment env;
    env.Patterns("Subject:*Angebot\n");
    CSettingsStore settings("pelloru");
    PointAtImap(settings, "imaps", server.ImapsPort(), certificates.CaFile());
    MemoryList list;
    RecordingWindow window;
    BatchMode = 1;
    CMailboxScan scan(list, window, settings, "pelloru");
    scan.ScanMailbox(List);
    BatchMode = 0;
    EXPECT_EQ(scan.LastOutcome(), CMailboxScan::Scanned) << scan.LastReason();
    ASSERT_EQ(env.Backups().size(), 1u);
    EXPECT_TRUE(ReadBinaryFile(env.Dir() + "/" + env.Backups()[0]) == message);
    EXPECT_EQ(server.CountMessagesIn("Junk"), 1);
}

// A mechanism the server offers but cannot complete (a SCRAM secret it
// does not hold) is followed by the next one it offers, once, and only
// over TLS; where that fails too, the reason names both.
TEST(ScanImap, ARefusedMechanismIsFollowedByTheNextOnlyOverTls) {
    TestCertificates certificates;
    ASSERT_TRUE(certificates.Ok()) << certificates.Error();
    struct Case {
        bool tls;
        const char *second;  // the answer to PLAIN; nullptr: none asked
        ResultCode result;
        const char *mechanism;
    };
    const Case cases[] = {
        {true, "p2 OK [CAPABILITY IMAP4rev1] angemeldet\r\n", RC_OK, "PLAIN"},
        {true, "p2 NO [AUTHENTICATIONFAILED] nein\r\n", RC_PASS_REFUSED, "SCRAM-SHA-256, dann PLAIN"},
        {false, nullptr, RC_PASS_REFUSED, "SCRAM-SHA-256"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.mechanism);
        ScriptedServer server;
        if (c.tls) server.EnableTls(certificates.Certificate("server"), certificates.Key("server"));
        server.Send("* OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=SCRAM-SHA-256 AUTH=PLAIN] bereit\r\n")
            .Respond([](const std::string &line) {
                return line.rfind("p1 AUTHENTICATE SCRAM-SHA-256 ", 0) == 0 ? "p1 NO [AUTHENTICATIONFAILED] kein Geheimnis\r\n"
                                                                           : "p1 BAD unerwartet\r\n";
            });
        if (c.second != nullptr) server.Expect("p2 AUTHENTICATE PLAIN AHBlbGxvcnUAZ2VoZWlt\r\n").Send(c.second);
        server.Start();
        CUT_ImapSession session;
        session.SetPort(server.Port());
        session.SetTls(c.tls ? CUT_ImapSession::TLS_IMPLICIT : CUT_ImapSession::TLS_NONE, certificates.CaFile());
        session.SetAuthentication("", true, "");
        ASSERT_EQ(session.Open("127.0.0.1"), RC_OK);
        EXPECT_EQ(session.LogOn("pelloru", "geheim"), c.result);
        EXPECT_EQ(session.Mechanism(), c.mechanism);
        session.CloseMailbox();
        server.Finish();
        for (const std::string &failure : server.Failures()) ADD_FAILURE() << failure;
        if (c.second == nullptr) {
            EXPECT_EQ(server.Received().find("p2 AUTH"), std::string::npos);
        }
    }
}

// A listing is as long as the folder said: a flood of lines beyond it (an
// alert after another, FETCH data for messages the folder does not hold)
// ends the step at once instead of being read on for as long as it comes.
TEST(ScanImap, AListingFloodEndsTheStep) {
    TestCertificates certificates;
    ASSERT_TRUE(certificates.Ok()) << certificates.Error();
    std::string alerts, fetches;
    for (int i = 0; i < 600; ++i) {
        alerts += "* OK [ALERT] Wartung um " + std::to_string(i) + "\r\n";
        fetches += "* " + std::to_string(i + 3) + " FETCH (UID " + std::to_string(i + 100) + " RFC822.SIZE 10)\r\n";
    }
    for (const std::string &flood : {alerts, fetches}) {
        ScriptedServer server;
        server.EnableTls(certificates.Certificate("server"), certificates.Key("server"));
        server.Send("* OK [CAPABILITY IMAP4rev1] bereit\r\n")
            .Expect("p1 LOGIN \"pelloru\" \"geheim\"\r\n")
            .Send("p1 OK [CAPABILITY IMAP4rev1] angemeldet\r\n")
            .Expect("p2 EXAMINE \"INBOX\"\r\n")
            .Send("* 2 EXISTS\r\n* OK [UIDVALIDITY 77] gut\r\np2 OK [READ-ONLY] fertig\r\n")
            .Expect("p3 UID FETCH 1:* (UID RFC822.SIZE)\r\n")
            .Send("* 1 FETCH (UID 5 RFC822.SIZE 10)\r\n" + flood + "p3 OK fertig\r\n");
        server.Start();
        ScanEnvironment env;
        CSettingsStore settings("pelloru");
        PointAtScripted(settings, server.Port(), certificates.CaFile());
        MemoryList list;
        RecordingWindow window;
        CMailboxScan scan(list, window, settings, "pelloru");
        ScanUnattended(scan);
        server.Finish();
        EXPECT_EQ(scan.LastOutcome(), CMailboxScan::Interrupted) << scan.LastReason();
        EXPECT_NE(scan.LastReason().find("nicht gefragt"), std::string::npos) << scan.LastReason();
        for (const std::string &failure : server.Failures()) ADD_FAILURE() << failure;
        EXPECT_EQ(server.Received().find("p4"), std::string::npos) << server.Received();
    }
}

// A watch idles on the inbox and calls back when mail arrives; on a server
// without IDLE it ends at once and says why, leaving the account to the
// timer.
TEST(ScanImap, NewMailWakesTheWatchAndAServerWithoutIdleEndsIt) {
    REQUIRE_DOVECOT_IMAP();
    TestCertificates certificates;
    ASSERT_TRUE(certificates.Ok()) << certificates.Error();
    for (const bool idle : {true, false}) {
        SCOPED_TRACE(idle ? "IDLE" : "ohne IDLE");
        DovecotServer server;
        server.EnableTls(certificates.Certificate("server"), certificates.Key("server"));
        server.EnableImap(true, true, idle);
        std::string error;
        ASSERT_TRUE(server.Start(&error)) << error;
        ScanEnvironment env;
        CSettingsStore settings("pelloru");
        PointAtImap(settings, "imaps", server.ImapsPort(), certificates.CaFile());
        std::atomic<int> calls{0};
        CIdleWatch watch(CScanConfig::Load(settings).front(), [&] { ++calls; });
        watch.Start();
        if (!idle) {
            for (int i = 0; i < 100 && watch.Running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
            EXPECT_FALSE(watch.Running());
            EXPECT_FALSE(watch.Failure().empty());
            continue;
        }
        // Mail delivered while the watch idles; the first may come before
        // IDLE began, so deliveries go on until one is reported (bounded).
        for (int i = 0; i < 20 && calls == 0; ++i) {
            ASSERT_TRUE(server.AddMessage("Subject: neu\r\n\r\nText\r\n"));
            for (int j = 0; j < 10 && calls == 0; ++j) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        EXPECT_GT(calls.load(), 0);
        EXPECT_TRUE(watch.Running()) << watch.Failure();
        watch.Stop();
        EXPECT_TRUE(watch.Failure().empty()) << watch.Failure();
    }
}

// Two runs of one account never act at once: the second waits for the
// first and then finds nothing left to move (no message lands in the spam
// folder twice); one that waits in vain ends with a reason of its own and
// has not logged on.
TEST(ScanImap, TwoRunsOfOneAccountNeverActAtOnce) {
    REQUIRE_DOVECOT_IMAP();
    TlsImapServer imap;
    ASSERT_TRUE(imap.Start()) << imap.error;
    DovecotServer &server = imap.server;
    const TestCertificates &certificates = imap.certificates;
    constexpr int kMessages = 20;
    for (int i = 0; i < kMessages; ++i)
        ASSERT_TRUE(server.AddMessage("Subject: Angebot " + std::to_string(i) + "\r\nMessage-Id: <a" +
                                      std::to_string(i) + "@x>\r\n\r\nText\r\n"));
    ScanEnvironment env;
    env.Patterns("Subject:*Angebot\n");
    CSettingsStore settings("pelloru");
    PointAtImap(settings, "imaps", server.ImapsPort(), certificates.CaFile());
    BatchMode = 1;
    CMailboxScan::Outcome outcomes[2] = {};
    std::atomic<int> ready{0};
    std::vector<std::thread> runs;
    for (int run = 0; run < 2; ++run)
        runs.emplace_back([&, run] {
            MemoryList list;
            RecordingWindow window;
            CMailboxScan scan(list, window, settings, "pelloru");
            ++ready;
            while (ready < 2) std::this_thread::yield();
            scan.ScanMailbox(List);
            outcomes[run] = scan.LastOutcome();
        });
    for (std::thread &run : runs) run.join();
    BatchMode = 0;
    std::sort(std::begin(outcomes), std::end(outcomes));
    EXPECT_EQ(outcomes[0], CMailboxScan::NoMessages);
    EXPECT_EQ(outcomes[1], CMailboxScan::Scanned);
    EXPECT_EQ(server.CountMessages(), 0);
    EXPECT_EQ(server.CountMessagesIn("Junk"), kMessages);

    ASSERT_TRUE(server.AddMessage("Subject: Angebot spät\r\nMessage-Id: <spaet@x>\r\n\r\nText\r\n"));
    CAccountLock other;
    const AccountConfig account = CScanConfig::Load(settings).front();
    ASSERT_EQ(other.Take(CAccountLock::PathFor("pelloru", account.Server().CacheKey(account.user)), 0,
                         nullptr),
              CAccountLock::Held);
    MemoryList list;
    RecordingWindow window;
    CMailboxScan scan(list, window, settings, "pelloru");
    scan.SetLockWait(1);
    std::vector<std::string> trace;
    scan.SetTrace([&trace](const std::string &line) { trace.push_back(line); });
    scan.ScanMailbox(List);
    EXPECT_EQ(scan.LastOutcome(), CMailboxScan::AccountBusy);
    EXPECT_EQ(window.boxes, std::vector<std::string>{CMailboxScan::kAccountBusyText});
    EXPECT_TRUE(trace.empty()) << trace.front();
    EXPECT_EQ(CHeadlessRun::ExitStatus(scan.LastOutcome()), CHeadlessRun::kExitBusy);
    EXPECT_EQ(server.CountMessages(), 1);
}
