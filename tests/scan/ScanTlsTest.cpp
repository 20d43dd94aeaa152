// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "BatchMode.h"
#include "CMailboxScan.h"
#include "CScanConfig.h"
#include "CServerAddress.h"
#include "CUT_TlsChannel.h"
#include "Conversations.h"
#include "CUT_Pop3Session.h"
#include "DovecotServer.h"
#include "ScanTestSupport.h"
#include "TestCertificates.h"
#include "TestFiles.h"

TEST(ScanServerSetting, SchemesPortsAndPlainHosts) {
    auto parse = [](const std::string &setting) { return CServerAddress::Parse(setting); };
    EXPECT_EQ(parse("pop3s://pop.example.net").host, "pop.example.net");
    EXPECT_EQ(parse("pop3s://pop.example.net").port, 995);
    EXPECT_EQ(parse("pop3s://pop.example.net").tlsMode, CUT_Pop3Session::TLS_IMPLICIT);
    EXPECT_EQ(parse("POP3S://pop.example.net:1995/").port, 1995);
    EXPECT_EQ(parse("pop3+stls://mail.example.org").port, 110);
    EXPECT_EQ(parse("pop3+stls://mail.example.org").tlsMode, CUT_Pop3Session::TLS_STARTTLS);
    EXPECT_EQ(parse("pop3+stls://mail.example.org:2110").port, 2110);
    EXPECT_EQ(parse("imaps://imap.example.net").port, 993);
    EXPECT_EQ(parse("imaps://imap.example.net").protocol, CServerAddress::Imap);
    EXPECT_EQ(parse("imap://imap.example.net").tlsMode, CUT_Pop3Session::TLS_STARTTLS);
    EXPECT_EQ(parse("imap://imap.example.net:1143").port, 1143);
    EXPECT_EQ(parse("pop3s://pop.example.net").protocol, CServerAddress::Pop3);
    // Without a scheme, as before.
    EXPECT_EQ(parse("pop.example.net").port, 0);
    EXPECT_EQ(parse("pop.example.net").tlsMode, CUT_Pop3Session::TLS_NONE);
    EXPECT_EQ(parse("pop.example.net:1100").port, 1100);
    EXPECT_EQ(parse("").host, "");
}

TEST(ScanTls, TheSameRowsOverPlainPop3sAndStls) {
    REQUIRE_DOVECOT();
    TestCertificates certificates;
    ASSERT_TRUE(certificates.Ok()) << certificates.Error();
    DovecotServer server;
    server.EnableTls(certificates.Certificate("server"), certificates.Key("server"));
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    for (const std::string &path : SampleMessages()) ASSERT_TRUE(server.AddMessage(ReadBinaryFile(path)));

    ScanEnvironment env;
    CSettingsStore settings("pelloru");
    settings.Write("USER", DovecotServer::kUser);
    settings.Write("PASS", CSettingsStore::ComplementPassword(DovecotServer::kPassword));
    settings.Write("CAFILE", certificates.CaFile());
    BatchMode = 1;
    std::vector<std::vector<std::vector<std::string>>> results;
    for (const std::string &host :
         {"127.0.0.1:" + std::to_string(server.Port()),
          "pop3s://127.0.0.1:" + std::to_string(server.TlsPort()),
          "pop3+stls://localhost:" + std::to_string(server.Port())}) {
        SCOPED_TRACE(host);
        settings.Write("HOST", host);
        MemoryList list;
        RecordingWindow window;
        CMailboxScan scan(list, window, settings, "pelloru");
        scan.ScanMailbox(List);
        EXPECT_EQ(scan.LastOutcome(), CMailboxScan::Scanned);
        EXPECT_EQ(list.rows.size(), 8u);
        results.push_back(list.rows);
    }
    EXPECT_EQ(results[1], results[0]);
    EXPECT_EQ(results[2], results[0]);

    // A certificate that does not verify ends the log-on: "Connection Failed".
    settings.Write("CAFILE", "");
    settings.Write("HOST", "pop3s://127.0.0.1:" + std::to_string(server.TlsPort()));
    BatchMode = 0;
    MemoryList list;
    RecordingWindow window;
    CMailboxScan scan(list, window, settings, "pelloru");
    scan.ScanMailbox(List);
    EXPECT_EQ(scan.LastOutcome(), CMailboxScan::ConnectionFailed);
    EXPECT_EQ(window.boxes, std::vector<std::string>{"Connection Failed"});
}

// A server whose certificate nothing vouches for (a home server's) is
// refused and its fingerprint offered; trusted by it, the account logs on;
// once the server shows another certificate, that one is refused, naming
// both fingerprints.
TEST(ScanTls, APinnedCertificateAgainstDovecot) {
    REQUIRE_DOVECOT();
    TestCertificates certificates;
    ASSERT_TRUE(certificates.Ok()) << certificates.Error();
    ScanEnvironment env;
    AccountConfig account;
    account.user = DovecotServer::kUser;
    account.storedPassword = CSettingsStore::ComplementPassword(DovecotServer::kPassword);
    std::string offered;
    struct Case {
        const char *certificate;
        bool pinned, connects;
    };
    for (const Case &c : {Case{"untrusted", false, false}, Case{"untrusted", true, true}, Case{"server", true, false}}) {
        SCOPED_TRACE(std::string(c.certificate) + (c.pinned ? ", pinned" : ""));
        DovecotServer server;
        server.EnableTls(certificates.Certificate(c.certificate), certificates.Key(c.certificate));
        std::string error;
        ASSERT_TRUE(server.Start(&error)) << error;
        account.host = "pop3s://127.0.0.1:" + std::to_string(server.TlsPort());
        account.fingerprint = c.pinned ? offered : std::string();
        std::string report, untrusted;
        EXPECT_EQ(TestConnection(account, &report, &untrusted), c.connects) << report;
        if (!c.pinned) {
            ASSERT_EQ(CUT_TlsChannel::FingerprintDigits(untrusted).size(), 64u) << report;
            offered = untrusted;
        } else if (!c.connects) {
            EXPECT_TRUE(untrusted.empty());  // not offered: it is not the pinned one
            EXPECT_NE(report.find(offered), std::string::npos) << report;
            // Both whole, the one trusted and the one shown.
            int whole = 0;
            for (size_t at = 0; (at = report.find("SHA-256 ", at)) != std::string::npos; at += 8)
                whole += CUT_TlsChannel::FingerprintDigits(report.substr(at + 8, 95)).size() == 64;
            EXPECT_EQ(whole, 2) << report;
        }
    }
}
