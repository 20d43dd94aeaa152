// SPDX-License-Identifier: GPL-3.0-or-later
// Several accounts in one profile: each is configured, scanned and
// deleted from on its own server, and the profile of a single account
// from earlier builds reads as account 1.
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "CHeadlessRun.h"
#include "CMailboxScan.h"
#include "CDirectDeletePatterns.h"
#include "CScanConfig.h"
#include "CScanRowModel.h"
#include "DovecotServer.h"
#include "ScanTestSupport.h"
#include "ScriptedServer.h"
#include "TestCertificates.h"

namespace {

// Runs a headless scan and keeps what it printed and said.
struct RunResult {
    int status = -1;
    std::string rows, errors;
};

RunResult Scan(bool printRows, const std::vector<std::string> &accounts) {
    std::ostringstream out, errors;
    std::streambuf *old = std::cerr.rdbuf(errors.rdbuf());
    RunResult run;
    run.status = CHeadlessRun::Scan("pelloru", printRows, out, false, false, false, accounts);
    std::cerr.rdbuf(old);
    run.rows = out.str();
    run.errors = errors.str();
    return run;
}

int Configure(const std::string &account, const std::string &lines) {
    std::istringstream in(lines);
    std::ostringstream out;
    return CHeadlessRun::Configure("pelloru", in, out, false, false, account);
}

std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace

TEST(Accounts, EachAccountIsScannedAndDeletedFromOnItsOwnServer) {
    REQUIRE_DOVECOT();
    TestCertificates certificates;
    ASSERT_TRUE(certificates.Ok()) << certificates.Error();
    DovecotServer scram, secure;
    scram.SetMechanisms("scram-sha-256");
    secure.EnableTls(certificates.Certificate("server"), certificates.Key("server"));
    std::string error;
    ASSERT_TRUE(scram.Start(&error)) << error;
    ASSERT_TRUE(secure.Start(&error)) << error;
    const std::string spam = "From: x@spam.example\r\nSubject: Gewinnspiel\r\nMessage-Id: <s@x>\r\n\r\nJetzt!\r\n";
    for (DovecotServer *server : {&scram, &secure}) {
        ASSERT_TRUE(server->AddMessage("From: anna@example.de\r\nSubject: Hallo\r\nMessage-Id: <h@x>\r\n\r\nHi\r\n"));
        ASSERT_TRUE(server->AddMessage(spam));
    }
    // Refuses the log-on, both times it is asked.
    ScriptedServer refusing;
    for (int time = 0; time < 2; ++time) {
        refusing.Send("+OK\r\n").Expect("CAPA\r\n").Send("-ERR\r\n").Expect("USER u\r\n")
            .Send("+OK\r\n").Expect("PASS p\r\n").Send("-ERR [AUTH] nope\r\n");
        if (time == 0) refusing.NextConnection();
    }
    refusing.Start();

    ScanEnvironment env;
    // An existing single-account profile, as earlier builds wrote it, scans
    // as before: the same rows as a scan given that server and user.
    CSettingsStore settings("pelloru");
    PointAt(settings, scram.Port(), DovecotServer::kUser, DovecotServer::kPassword);
    settings.Write("INTERVAL", "0");
    ASSERT_EQ(CScanConfig::Load(settings).size(), 1u);
    const RunResult legacy = Scan(true, {});
    EXPECT_EQ(legacy.status, 0) << legacy.errors;
    CScanRowModel direct;
    RecordingWindow window;
    CDirectDeletePatterns none;
    MailAccount account;
    account.user = DovecotServer::kUser;
    account.password = DovecotServer::kPassword;
    CMailboxScan(direct, window, CServerAddress::Parse("127.0.0.1:" + std::to_string(scram.Port())), account,
                 none, "pelloru")
        .ScanMailbox(List);
    EXPECT_EQ(legacy.rows, CHeadlessRun::FormatRows(direct));
    ASSERT_EQ(Lines(legacy.rows).size(), 2u) << legacy.rows;
    env.Patterns("Gewinnspiel\n");

    // Two more accounts with --configure, the second with its CA file.
    ASSERT_EQ(Configure("sicher", "pop3s://127.0.0.1:" + std::to_string(secure.TlsPort()) + "\n" +
                                      DovecotServer::kUser + "\n" + DovecotServer::kPassword +
                                      "\nCAFILE=" + certificates.CaFile() + "\nTIMEOUT=5\n"),
              0);
    ASSERT_EQ(Configure("kaputt", "127.0.0.1:" + std::to_string(refusing.Port()) + "\nu\np\n"), 0);
    EXPECT_EQ(Configure("kaputt", "host\nu\np\nFARBE=blau\n"), CHeadlessRun::kExitFailed);
    const std::vector<AccountConfig> accounts = CScanConfig::Load(settings);
    ASSERT_EQ(accounts.size(), 3u);
    EXPECT_EQ(accounts[1].name, "sicher");
    EXPECT_EQ(accounts[1].caFile, certificates.CaFile());
    EXPECT_EQ(accounts[1].timeoutSeconds, 5);
    EXPECT_EQ(accounts[2].host, "127.0.0.1:" + std::to_string(refusing.Port()));  // not "host"

    struct Case {
        const char *name;
        std::vector<std::string> accounts;
        bool printRows;
        int status;
        size_t rows;
    };
    const std::vector<Case> cases = {
        {"only the secure one", {"sicher"}, true, 0, 2},
        {"all three", {}, false, CHeadlessRun::kExitLogOnFailed, 0},
        {"an unknown name", {"gibt-es-nicht"}, true, CHeadlessRun::kExitUsage, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const RunResult run = Scan(c.printRows, c.accounts);
        EXPECT_EQ(run.status, c.status) << run.errors;
        const std::vector<std::string> lines = Lines(run.rows);
        EXPECT_EQ(lines.size(), c.rows) << run.rows;
        // One account: the six columns as always.
        for (const std::string &line : lines) EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 5);
        if (c.accounts.empty()) {
            // The refusing account says why, naming itself; the others went on.
            EXPECT_NE(run.errors.find("Konto \"kaputt\": Connection Failed: Der Server lehnte die Anmeldung ab"),
                      std::string::npos)
                << run.errors;
        }
    }
    // The /b of all three deleted the spam on each server, and only there.
    EXPECT_EQ(scram.CountMessages(), 1);
    EXPECT_EQ(secure.CountMessages(), 1);
    EXPECT_EQ(env.Backups().size(), 2u);

    // --list of all: the account first, then the six columns.
    ASSERT_TRUE(scram.AddMessage(spam));
    const RunResult all = Scan(true, {});
    const std::vector<std::string> lines = Lines(all.rows);
    ASSERT_EQ(lines.size(), 3u) << all.rows;
    EXPECT_EQ(lines[0].rfind(DovecotServer::kUser + std::string("@127.0.0.1\t"), 0), 0u) << lines[0];
    EXPECT_EQ(lines[2].rfind("sicher\t anna@example.de\t", 0), 0u) << lines[2];
    for (const std::string &line : lines) EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 6);
}
