// SPDX-License-Identifier: GPL-3.0-or-later
#include "CUT_MailSession.h"

#include <algorithm>

#include "CUT_SaslClient.h"
#include "TextHelpers.h"

ResultCode CUT_MailSession::SetConnectTimeout(int seconds) {
    if (seconds <= 0) return OnError(RC_ERROR);
    m_connectTimeout = seconds;
    return OnError(RC_OK);
}

ResultCode CUT_MailSession::SetReceiveTimeout(int seconds) {
    if (seconds <= 0) return OnError(RC_ERROR);
    m_receiveTimeout = seconds;
    m_receiveTimeoutMs = seconds * 1000;
    m_sendTimeoutMs = seconds * 1000;
    return OnError(RC_OK);
}

ResultCode CUT_MailSession::SetReplyTimeLimit(int seconds) {
    if (seconds <= 0) return OnError(RC_ERROR);
    m_replyLimitSeconds = seconds;
    return OnError(RC_OK);
}

ResultCode CUT_MailSession::SetPort(int port) {
    if (port < 1 || port > 65535) return OnError(RC_ERROR);
    m_port = port;
    return OnError(RC_OK);
}

ResultCode CUT_MailSession::SetTls(int mode, const std::string &caFile) {
    if (mode < TLS_NONE || mode > TLS_STARTTLS) return OnError(RC_ERROR);
    m_tlsMode = mode;
    m_caFile = caFile;
    return OnError(RC_OK);
}

bool CUT_MailSession::HasCapability(const char *name) const {
    for (const std::string &capability : m_capabilities)
        if (EqualsNoCase(capability.c_str(), name)) return true;
    return false;
}

std::string CUT_MailSession::MechanismName(const std::string &setting) {
    std::string name;
    for (char c : setting) name += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    return name;
}

ResultCode CUT_MailSession::KeepAuthentication(const std::string &name, const char *plain, bool allowClear,
                                               const std::string &token) {
    const std::vector<std::string> &known = CUT_SaslClient::Mechanisms();
    if (!name.empty() && name != plain && std::find(known.begin(), known.end(), name) == known.end())
        return OnError(RC_NO_MECHANISM);
    if (CUT_SaslClient::IsOAuth(name) && token.empty()) return OnError(RC_NO_MECHANISM);
    m_chosenMechanism = name;
    m_allowClear = allowClear;
    m_token = token;
    return OnError(RC_OK);
}

ResultCode CUT_MailSession::SaslExchange(const std::string &mechanism, const std::string &user,
                                         const std::string &secret, const SaslProtocol &protocol) {
    m_authServerError.clear();
    CUT_SaslClient sasl;
    if (!sasl.Start(mechanism, user, secret, m_host, m_port)) return RC_NO_MECHANISM;
    std::string pending;
    const bool clientFirst = CUT_SaslClient::ClientFirst(mechanism);
    if (clientFirst && sasl.Next("", &pending) == CUT_SaslClient::Failed) return RC_NO_MECHANISM;
    if (!protocol.start(clientFirst ? &pending : nullptr)) return RC_LOST_SYNC;
    const bool mustProve = mechanism.rfind("SCRAM-", 0) == 0;
    bool proven = false;
    // A bounded exchange: the mechanisms here need at most a few steps.
    for (int step = 0; step < 12 && !m_lostSync; ++step) {
        const SaslReply reply = protocol.read();
        switch (reply.kind) {
        case SaslReply::Ok:
            if (mustProve && !proven) return protocol.lose(RC_SERVER_UNPROVEN);
            return RC_OK;
        case SaslReply::No:
            m_authServerError = sasl.ServerError();
            return protocol.refused();
        case SaslReply::Lost: return reply.code;
        case SaslReply::Challenge: break;
        }
        std::string response;
        CUT_SaslClient::Step next = CUT_SaslClient::More;
        if (!pending.empty()) {
            response.swap(pending);
        } else if ((next = sasl.Next(reply.challenge, &response)) == CUT_SaslClient::Failed) {
            // "*" cancels; the server refuses then. With SCRAM the server's
            // own messages failed the check.
            protocol.send("*", "*");
            const SaslReply cancelled = protocol.read();
            if (cancelled.kind != SaslReply::No || mustProve)
                return protocol.lose(mustProve ? RC_SERVER_UNPROVEN : RC_LOST_SYNC);
            m_authServerError = sasl.ServerError();
            return protocol.refused();
        }
        if (next == CUT_SaslClient::Done) proven = true;
        protocol.send(response, response.empty() ? std::string() : std::string("********"));
    }
    return m_lostSync ? RC_LOST_SYNC : protocol.lose(RC_LOST_SYNC);
}
