// SPDX-License-Identifier: GPL-3.0-or-later
#include "CServerAddress.h"

#include <strings.h>

#include <cstring>

#include "CUT_MailSession.h"

namespace {

// Only the part after the last '@' names the host; an '@' in the first
// position is part of the name.
std::string WithoutUser(const std::string &text) {
    const size_t at = text.rfind('@');
    return at != std::string::npos && at > 0 ? text.substr(at + 1) : text;
}

}  // namespace

std::string CServerAddress::CacheKey(const std::string &user) const {
    return std::string(protocol == Imap ? "imap" : "pop3") + "|" + host + "|" + std::to_string(port) + "|" + user;
}

std::string CServerAddress::SplitHostPort(const std::string &host, int *port) {
    const size_t colon = host.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == host.size()) return host;
    long value = 0;
    for (size_t i = colon + 1; i < host.size(); ++i) {
        if (host[i] < '0' || host[i] > '9' || value > 65535) return host;
        value = value * 10 + (host[i] - '0');
    }
    if (value < 1 || value > 65535) return host;
    if (port != nullptr) *port = static_cast<int>(value);
    return host.substr(0, colon);
}

CServerAddress CServerAddress::Parse(const std::string &setting, const std::string &caFile) {
    CServerAddress server;
    server.caFile = caFile;
    struct Scheme {
        const char *prefix;
        int mode;
        int port;
        Protocol protocol;
    };
    // IMAP goes with TLS only: from the first byte, or upgraded with
    // STARTTLS, which must then succeed.
    static const Scheme kSchemes[] = {{"pop3s://", CUT_MailSession::TLS_IMPLICIT, 995, Pop3},
                                      {"pop3+stls://", CUT_MailSession::TLS_STARTTLS, 110, Pop3},
                                      {"pop3://", CUT_MailSession::TLS_NONE, 110, Pop3},
                                      {"imaps://", CUT_MailSession::TLS_IMPLICIT, 993, Imap},
                                      {"imap://", CUT_MailSession::TLS_STARTTLS, 143, Imap}};
    for (const Scheme &scheme : kSchemes) {
        const size_t length = std::strlen(scheme.prefix);
        if (setting.size() < length || strncasecmp(setting.c_str(), scheme.prefix, length) != 0)
            continue;
        std::string rest = setting.substr(length);
        if (!rest.empty() && rest.back() == '/') rest.pop_back();
        server.tlsMode = scheme.mode;
        server.port = scheme.port;
        server.protocol = scheme.protocol;
        server.allowClear = false;
        server.host = WithoutUser(SplitHostPort(rest, &server.port));
        return server;
    }
    server.host = WithoutUser(SplitHostPort(setting, &server.port));
    return server;
}
