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
