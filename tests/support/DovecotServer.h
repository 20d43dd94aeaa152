// SPDX-License-Identifier: GPL-3.0-or-later
// A private Dovecot POP3 (and, on request, IMAP) server for the tests: its own configuration, base
// directory, passwd-file and maildir under a fresh directory in /tmp, on a
// free 127.0.0.1 port. Nothing under /etc is touched and no system service
// is started. The server is stopped by its process id and its directory
// removed when the object goes.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

class DovecotServer {
public:
    static constexpr const char *kUser = "pelloru";
    static constexpr const char *kPassword = "geheim-42";

    DovecotServer() = default;
    ~DovecotServer();
    DovecotServer(const DovecotServer &) = delete;
    DovecotServer &operator=(const DovecotServer &) = delete;

    // Empty when the server can run here, else the reason it cannot.
    static std::string Unavailable();

    // Before Start: serve TLS with this certificate and key, as STLS on the
    // plain port and from the first byte on a second port.
    void EnableTls(const std::string &certificate, const std::string &key) {
        m_certificate = certificate;
        m_key = key;
    }

    // Before Start: serve IMAP too, on ports of its own, with a folder
    // "Junk" marked \Junk; with or without MOVE, UIDPLUS and IDLE offered.
    void EnableImap(bool move = true, bool uidplus = true, bool idle = true) {
        m_imap = true;
        m_imapMove = move;
        m_imapUidplus = uidplus;
        m_imapIdle = idle;
    }
    // Empty when IMAP can be served here (dovecot-imapd), else why not.
    static std::string ImapUnavailable();

    // Before Start: the SASL mechanisms offered (Dovecot's names; "plain"
    // unless set), and OAuth 2.0 tokens checked at this introspection URL
    // (adds xoauth2 and oauthbearer).
    void SetMechanisms(const std::string &mechanisms) { m_mechanisms = mechanisms; }
    void EnableOAuth2(const std::string &introspectionUrl) { m_introspection = introspectionUrl; }

    // Sets everything up and starts the server; false with a reason.
    bool Start(std::string *error);
    void Stop();

    // Puts a message into the mailbox (as delivered, before any session).
    // flags: maildir flags ("S" seen, "T" deleted, ...); with any, the
    // message is filed as seen by a client before (cur/).
    bool AddMessage(const std::string &raw, const std::string &flags = {});
    // Messages in a folder other than the inbox ("Junk").
    int CountMessagesIn(const std::string &folder) const;
    // Each message file's base name with its maildir flags, sorted: what
    // a client changed shows here.
    std::vector<std::string> FlagsOfMessages() const;
    // Messages in the mailbox right now, as files in new/ and cur/.
    int CountMessages() const;
    // The contents of the messages in the mailbox right now, sorted.
    std::vector<std::string> Messages() const;
    // Waits (bounded) until the mailbox holds this many messages, as after
    // a QUIT the server commits a moment later; true when it does.
    bool WaitForCount(int count) const;
    // Removes every message file.
    void ClearMailbox();

    int Port() const { return m_port; }
    int TlsPort() const { return m_tlsPort; }
    int ImapPort() const { return m_imapPort; }
    int ImapsPort() const { return m_imapsPort; }
    const std::string &Directory() const { return m_dir; }
    std::string Log() const;

private:
    bool WaitUntilListening(int timeoutMs);

    std::string m_dir;
    std::string m_maildir;
    int m_port = 0;
    int m_tlsPort = 0;
    bool m_imap = false;
    bool m_imapMove = true;
    bool m_imapUidplus = true;
    bool m_imapIdle = true;
    int m_imapPort = 0;
    int m_imapsPort = 0;
    std::string m_certificate;
    std::string m_key;
    std::string m_mechanisms = "plain";
    std::string m_introspection;
    pid_t m_pid = -1;
    uid_t m_uid = 0;
    gid_t m_gid = 0;
    int m_sequence = 0;
};

// Fails the test in CI (CI set in the environment), skips it elsewhere.
#define REQUIRE_DOVECOT()                                                  \
    do {                                                                   \
        std::string why_ = DovecotServer::Unavailable();                   \
        if (!why_.empty()) {                                               \
            if (std::getenv("CI") != nullptr) FAIL() << why_;              \
            GTEST_SKIP() << why_;                                          \
        }                                                                  \
    } while (0)
