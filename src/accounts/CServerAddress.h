// SPDX-License-Identifier: GPL-3.0-or-later
// The "HOST" setting taken apart once: the host to connect to, the port,
// whether and how TLS protects the conversation, and an extra CA file to
// trust. Everything below gets these parts, never the setting's text.
#pragma once

#include <string>

class CServerAddress {
public:
    enum Protocol { Pop3, Imap };
    Protocol protocol = Pop3;
    std::string host;
    int port = 0;     // 0: the session's default (110)
    int tlsMode = 0;  // one of CUT_MailSession::TlsMode
    std::string caFile;
    // The one certificate trusted for this account (SHA-256 fingerprint);
    // empty: the trust store (and caFile) decide.
    std::string fingerprint;
    // Whether mechanisms that show the password on the line may be used
    // without TLS away from this machine: yes for a host text without a
    // scheme (as always), no for "pop3://".
    bool allowClear = true;

    // "imaps://host[:port]" (IMAP, TLS from the first byte, port 993),
    // "imap://host[:port]" (IMAP upgraded with STARTTLS, port 143),
    // "pop3s://host[:port]" (TLS from the first byte, port 995 by
    // default), "pop3+stls://host[:port]" (upgraded with STLS, port 110 by
    // default), "pop3://host[:port]" (no TLS, and no password in clear
    // unless to this machine), or a host text as before, with an optional ":port". A
    // "user@" in front of the host names no part of it.
    static CServerAddress Parse(const std::string &setting, const std::string &caFile = {});

    // "host:port" with a port from 1 to 65535 names another port than 110;
    // any other host text is left whole. Returns the host part.
    static std::string SplitHostPort(const std::string &host, int *port);

    // What names an account's cache and lock (protocol, server, port, user).
    std::string CacheKey(const std::string &user) const;
};
