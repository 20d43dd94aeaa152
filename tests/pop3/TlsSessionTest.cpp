// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cerrno>

#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "CUT_Pop3Session.h"
#include "DovecotServer.h"
#include "ScriptedServer.h"
#include "TestCertificates.h"

namespace {

// Dovecot servers, each with one of the test certificates, shared by the
// suite; and a plain one that offers no STLS.
class TlsSessionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        certificates = new TestCertificates;
        if (!certificates->Ok() || !DovecotServer::Unavailable().empty()) return;
        for (const char *name : {"server", "wronghost", "expired", "untrusted"}) {
            auto *server = new DovecotServer;
            server->EnableTls(certificates->Certificate(name), certificates->Key(name));
            if (!server->Start(&startError)) {
                delete server;
                return;
            }
            servers.push_back(server);
        }
        plain = new DovecotServer;
        if (!plain->Start(&startError)) {
            delete plain;
            plain = nullptr;
        }
    }
    static void TearDownTestSuite() {
        for (DovecotServer *server : servers) delete server;
        servers.clear();
        delete plain;
        plain = nullptr;
        delete certificates;
        certificates = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(certificates->Ok()) << certificates->Error();
        REQUIRE_DOVECOT();
        ASSERT_EQ(servers.size(), 4u) << startError;
        ASSERT_NE(plain, nullptr) << startError;
    }
    static ResultCode LogOn(CUT_Pop3Session &session, DovecotServer &server, int mode,
                            const std::string &caFile, const char *host = "127.0.0.1") {
        session.SetPort(mode == CUT_Pop3Session::TLS_IMPLICIT ? server.TlsPort() : server.Port());
        session.SetTls(mode, caFile);
        return session.OpenMailbox(host, DovecotServer::kUser, DovecotServer::kPassword);
    }

    static TestCertificates *certificates;
    static std::vector<DovecotServer *> servers;
    static DovecotServer *plain;
    static std::string startError;
};

TestCertificates *TlsSessionTest::certificates = nullptr;
std::vector<DovecotServer *> TlsSessionTest::servers;
DovecotServer *TlsSessionTest::plain = nullptr;
std::string TlsSessionTest::startError;

}  // namespace

TEST_F(TlsSessionTest, ImplicitTlsAndStlsLogOnAndRead) {
    DovecotServer &server = *servers[0];
    server.ClearMailbox();
    ASSERT_TRUE(server.AddMessage("From: a@b\nSubject: sicher\n\nZeile 1\nZeile 2\n"));
    for (int mode : {CUT_Pop3Session::TLS_IMPLICIT, CUT_Pop3Session::TLS_STARTTLS}) {
        SCOPED_TRACE(mode);
        for (const char *host : {"127.0.0.1", "localhost"}) {
            CUT_Pop3Session session;
            ASSERT_EQ(LogOn(session, server, mode, certificates->CaFile(), host), RC_OK)
                << session.TlsError();
            EXPECT_TRUE(session.TlsActive());
            long count = 0;
            ASSERT_EQ(session.GetMessageCount(&count), RC_OK);
            EXPECT_EQ(count, 1);
            ASSERT_EQ(session.BeginTop(1, 25), RC_OK);
            std::vector<std::string> lines;
            char line[1023];
            int n;
            while ((n = session.ReadMessageLine(line, sizeof line)) > 0) lines.emplace_back(line, n);
            EXPECT_EQ(lines.size(), 5u);
            EXPECT_EQ(lines.back(), "Zeile 2\r\n");
            EXPECT_EQ(session.EndTop(), RC_OK);
            EXPECT_EQ(session.IsConnected(), 1);
            EXPECT_EQ(session.CloseMailbox(), RC_OK);
            EXPECT_FALSE(session.TlsActive());
        }
    }
}

TEST_F(TlsSessionTest, BadCertificatesRefuseTheLogOn) {
    for (size_t index : {1u, 2u, 3u}) {  // wrong host, expired, untrusted CA
        for (int mode : {CUT_Pop3Session::TLS_IMPLICIT, CUT_Pop3Session::TLS_STARTTLS}) {
            SCOPED_TRACE(std::to_string(index) + "/" + std::to_string(mode));
            CUT_Pop3Session session;
            EXPECT_EQ(LogOn(session, *servers[index], mode, certificates->CaFile()),
                      RC_CERTIFICATE_REJECTED);
            EXPECT_FALSE(session.TlsActive());
        }
    }
    // The good certificate, but no CA file: the system store knows nothing
    // of the test CA.
    CUT_Pop3Session session;
    EXPECT_EQ(LogOn(session, *servers[0], CUT_Pop3Session::TLS_IMPLICIT, ""), RC_CERTIFICATE_REJECTED);
    EXPECT_EQ(LogOn(session, *servers[0], CUT_Pop3Session::TLS_IMPLICIT, "/nonexistent/ca.pem"),
              RC_CERTIFICATE_REJECTED);
}

TEST_F(TlsSessionTest, AServerWithoutStlsIsRefused) {
    CUT_Pop3Session session;
    EXPECT_EQ(LogOn(session, *plain, CUT_Pop3Session::TLS_STARTTLS, certificates->CaFile()),
              RC_STLS_REFUSED);
    EXPECT_FALSE(session.TlsActive());
    // TLS spoken to a plain port fails as a handshake, not as a log-on.
    EXPECT_EQ(LogOn(session, *plain, CUT_Pop3Session::TLS_IMPLICIT, certificates->CaFile()),
              RC_TLS_FAILED);
    EXPECT_EQ(session.FailureErrno(), 0);
    // A server that never answers the handshake: a time-out, said as one.
    ScriptedServer silent;
    silent.Pause(3000);
    silent.Start();
    CUT_Pop3Session waiting;
    waiting.SetPort(silent.Port());
    waiting.SetReceiveTimeout(1);
    waiting.SetTls(CUT_Pop3Session::TLS_IMPLICIT, certificates->CaFile());
    EXPECT_EQ(waiting.OpenMailbox("127.0.0.1", "u", "p"), RC_TLS_FAILED);
    EXPECT_EQ(waiting.FailureErrno(), ETIMEDOUT);
}

TEST(TlsLines, LineReadsHoldAcrossTlsRecords) {
    TestCertificates certificates;
    ASSERT_TRUE(certificates.Ok()) << certificates.Error();
    ScriptedServer server;
    server.EnableTls(certificates.Certificate("server"), certificates.Key("server"));
    // Each Send is one record: two lines in one, then a line over three.
    server.Send("+OK ready\r\n").Expect("CAPA\r\n").Send("-ERR\r\n").Expect("USER user\r\n").Send("+OK\r\n")
        .Expect("PASS secret\r\n").Send("+OK\r\n")
        .Expect("TOP 1 25\r\n").Send("+OK\r\nfirst\r\nsecond\r\n")
        .SendSplit("a line in three records\r\n", 9).Send(".\r\n")
        .Pause(1500).Send("late\r\n");
    server.Start();
    CUT_Pop3Session session;
    session.SetPort(server.Port());
    session.SetTls(CUT_Pop3Session::TLS_IMPLICIT, certificates.CaFile());
    ASSERT_EQ(session.OpenMailbox("127.0.0.1", "user", "secret"), RC_OK) << session.TlsError();
    ASSERT_EQ(session.BeginTop(1, 25), RC_OK);
    char line[64];
    EXPECT_EQ(session.ReadMessageLine(line, sizeof line), 7);
    EXPECT_STREQ(line, "first\r\n");
    EXPECT_EQ(session.ReadMessageLine(line, sizeof line), 8);
    EXPECT_STREQ(line, "second\r\n");
    EXPECT_EQ(session.ReadMessageLine(line, sizeof line), 25);
    EXPECT_STREQ(line, "a line in three records\r\n");
    EXPECT_EQ(session.ReadMessageLine(line, sizeof line), 0);
    // Nothing within a second, then a line: the wait sees TLS data.
    EXPECT_EQ(session.ReceiveLine(line, sizeof line, 1), 0);
    EXPECT_EQ(session.ReceiveLine(line, sizeof line, 3), 6);
    EXPECT_EQ(session.CloseMailbox(), RC_OK);
}

TEST_F(TlsSessionTest, TheSystemCaFolderIsLookedUpByHash) {
    // A CA folder as the system keeps it: certificates under their subject
    // hash, found when a chain needs them (here through SSL_CERT_DIR).
    char pattern[] = "/tmp/pelloru-cadir-XXXXXX";
    const std::string folder = ::mkdtemp(pattern);
    FILE *file = std::fopen(certificates->CaFile().c_str(), "r");
    ASSERT_NE(file, nullptr);
    X509 *ca = PEM_read_X509(file, nullptr, nullptr, nullptr);
    std::fclose(file);
    ASSERT_NE(ca, nullptr);
    char name[32];
    std::snprintf(name, sizeof name, "%08lx.0", X509_subject_name_hash(ca));
    X509_free(ca);
    std::filesystem::copy_file(certificates->CaFile(), folder + "/" + name);
    ::setenv("SSL_CERT_DIR", folder.c_str(), 1);
    CUT_Pop3Session session;
    const ResultCode result = LogOn(session, *servers[0], CUT_Pop3Session::TLS_IMPLICIT, "");
    ::unsetenv("SSL_CERT_DIR");
    std::filesystem::remove_all(folder);
    EXPECT_EQ(result, RC_OK) << session.TlsError();
}

// A certificate that does not verify can be trusted for an account by its
// SHA-256 fingerprint, that one and no other: without a CA, for another
// name, and a different one is refused naming both.
TEST(TlsPin, APinnedCertificateIsTheOnlyOneAccepted) {
    TestCertificates certificates;
    ASSERT_TRUE(certificates.Ok()) << certificates.Error();
    std::string seen;
    const std::string other(95, 'A');
    struct Case {
        const char *name;
        const std::string *pin;
        ResultCode expected;
    };
    const std::string none;
    const Case cases[] = {
        {"unknown CA, no pin", &none, RC_CERTIFICATE_REJECTED},
        {"pinned", &seen, RC_OK},
        {"another pinned", &other, RC_CERTIFICATE_REJECTED},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        server.EnableTls(certificates.Certificate("server"), certificates.Key("server"));
        server.LogOn();
        server.Start();
        CUT_Pop3Session session;
        session.SetPort(server.Port());
        session.SetTls(CUT_Pop3Session::TLS_IMPLICIT, "");
        session.SetPinnedCertificate(*c.pin);
        // (By a name the certificate does not hold: a pin needs none.)
        EXPECT_EQ(session.OpenMailbox("localhost", "user", "secret"), c.expected) << session.FailureDetail();
        EXPECT_EQ(session.PeerFingerprint().size(), 95u);
        if (seen.empty()) seen = session.PeerFingerprint();
        EXPECT_EQ(session.PinMismatch(), c.pin == &other);
        if (c.pin == &other) {
            EXPECT_NE(session.FailureDetail().find(other), std::string::npos);
            EXPECT_NE(session.FailureDetail().find(seen), std::string::npos);
        }
        session.CloseConnection();
    }
}
