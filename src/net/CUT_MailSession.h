// SPDX-License-Identifier: GPL-3.0-or-later
// What the client sessions of every mail protocol share, written once below
// POP3's and IMAP's: the server's port and TLS mode, the waits and the
// bound of a whole reply, the log-on mechanism asked for and the one used,
// the capabilities, the failure record (what was sent, what came back,
// which bound ran out), the step lost, the trace, and the check that no
// bytes wait before a command. Nothing here is virtual: the sessions keep
// their own operations, in their own slot order.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "CUT_WSClient.h"

// Which bound a reply ran into, if one did.
enum class SessionLimit {
    None,
    Wait,        // nothing came within the wait
    ReplyTime,   // the reply as a whole took too long
    ReplySize,   // the reply brought far more than was asked
    HangUp,      // the server closed the connection mid-reply
    Stop,        // the user's stop
    EarlyBytes,  // bytes waited before a command was sent
    Unasked,     // data came that nobody asked for
};

// What went wrong, recorded where it happened: the code, the command
// (secrets masked), the reply and the bound that ran out, if one did.
struct SessionFailure {
    ResultCode code = RC_OK;
    std::string command;
    std::string reply;
    SessionLimit limit = SessionLimit::None;
};

class CUT_MailSession : public CUT_WSClient {
public:
    enum TlsMode { TLS_NONE = 0, TLS_IMPLICIT = 1, TLS_STARTTLS = 2 };

    ResultCode SetConnectTimeout(int seconds);
    // Also what the socket itself waits, which bounds the TLS handshake.
    ResultCode SetReceiveTimeout(int seconds);
    // The most a whole reply may take (more while it keeps coming fast).
    ResultCode SetReplyTimeLimit(int seconds);
    ResultCode SetPort(int port);
    ResultCode SetTls(int mode, const std::string &caFile);
    void SetTrace(std::function<void(const std::string &line)> trace) { m_trace = std::move(trace); }

    bool HasCapability(const char *name) const;
    const std::vector<std::string> &Capabilities() const { return m_capabilities; }
    const std::vector<std::string> &SaslMechanisms() const { return m_saslMechanisms; }
    // The mechanism used (or tried) for the log-on.
    const std::string &Mechanism() const { return m_mechanism; }
    // A refused token's reason as the server gave it (JSON).
    const std::string &AuthServerError() const { return m_authServerError; }
    const SessionFailure &Failure() const { return m_failure; }
    bool LostSync() const { return m_lostSync; }
    int Port() const { return m_port; }
    int ReceiveTimeout() const { return m_receiveTimeout; }
    int ConnectTimeout() const { return m_connectTimeout; }

protected:
    explicit CUT_MailSession(int port) : m_port(port) {}
    // Bytes that came before the command about to go out: taken for its
    // answer they could claim what the server never did.
    bool BytesWaiting() { return PeekConnection() == kDataWaiting; }
    // One SASL exchange, the same for every protocol: the initial response
    // where the mechanism starts, at most 12 steps, "*" to give up, and with
    // SCRAM the server's proof that it knows the password (an OK before it
    // may come from anyone in the path, and loses the step). The protocol
    // says how: start sends the command, with *initial where it may go
    // along (then cleared; nullptr: the mechanism has none); read gives the
    // server's next word; send puts a response line out (shown: for the
    // trace); refused records a refusal; lose loses the step with a code.
    struct SaslReply {
        enum Kind { Ok, No, Challenge, Lost } kind = Lost;
        std::string challenge;   // base64, as the server sent it
        ResultCode code = RC_LOST_SYNC;  // for Lost: what the read lost it with
    };
    struct SaslProtocol {
        std::function<bool(std::string *initial)> start;
        std::function<SaslReply()> read;
        std::function<void(const std::string &line, const std::string &shown)> send;
        std::function<ResultCode()> refused;
        std::function<ResultCode(ResultCode code)> lose;
    };
    ResultCode SaslExchange(const std::string &mechanism, const std::string &user, const std::string &secret,
                            const SaslProtocol &protocol);
    // The upper-cased name of a mechanism setting.
    static std::string MechanismName(const std::string &setting);
    // Keeps how to log on: name empty (the strongest both sides speak), the
    // protocol's own command (plain), or a mechanism the SASL client knows;
    // an OAuth mechanism only with a token. RC_NO_MECHANISM otherwise.
    ResultCode KeepAuthentication(const std::string &name, const char *plain, bool allowClear,
                                  const std::string &token);

    int m_port;
    int m_receiveTimeout = 10;
    int m_connectTimeout = 5;
    int m_replyLimitSeconds = 60;
    long m_replySizeLimit = 0;  // 0: no bound
    int m_tlsMode = TLS_NONE;
    std::string m_caFile;
    std::string m_host;
    std::string m_chosenMechanism;  // empty: the strongest both sides speak
    bool m_allowClear = true;
    std::string m_token;
    std::string m_mechanism;
    std::string m_authServerError;
    std::vector<std::string> m_capabilities;
    std::vector<std::string> m_saslMechanisms;
    bool m_lostSync = false;
    SessionFailure m_failure;
    std::string m_lastCommand;         // the command whose reply is read (secrets masked)
    SessionLimit m_limitHit = SessionLimit::None;  // the bound that ran out last
    std::chrono::steady_clock::time_point m_replyStart;
    long m_replyBytes = 0;
    std::function<void(const std::string &)> m_trace;
};
