#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "BatchMode.h"
#include "CMailboxScan.h"
#include "DovecotServer.h"
#include "ScanTestSupport.h"
#include "TestCertificates.h"
#include "TestFiles.h"

namespace {

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
        {false, false, "imaps", "", CMailboxScan::kFlaggedMark, 9, 2},
        {true, true, "imaps", "delete", "gelöscht=", 7, 0},
        {true, false, "imaps", "delete", CMailboxScan::kFlaggedMark, 9, 0},
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
    TestCertificates certificates;
    ASSERT_TRUE(certificates.Ok()) << certificates.Error();
    DovecotServer server;
    server.EnableTls(certificates.Certificate("server"), certificates.Key("server"));
    server.EnableImap();
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    for (const std::string &path : SampleMessages()) ASSERT_TRUE(server.AddMessage(ReadBinaryFile(path)));
    ASSERT_TRUE(server.AddMessage(kFlaggedByOthers, "T"));
    ScanEnvironment env;
    env.Patterns("Subject:*Wartungsvertrag\n");
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
    ASSERT_EQ(overImap.size(), 9u);
    EXPECT_EQ(overImap, overPop3);
    EXPECT_EQ(overImap[3][0], "würde gelöscht=Subject:*Wartungsvertrag");
    EXPECT_EQ(server.CountMessages(), 9);
    EXPECT_TRUE(env.Backups().empty());
}
