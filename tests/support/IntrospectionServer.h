// SPDX-License-Identifier: GPL-3.0-or-later
// tests/support/introspect.py on a free loopback port, the token
// introspection endpoint of the tests' Dovecot: "gueltig" is an active
// token of the user pelloru, every other one is not. Given a certificate
// and its key, also an OAuth 2.0 provider over HTTPS (see introspect.py).
// Stopped by its process id when the object goes.
#pragma once

#include <sys/types.h>

#include <string>

class IntrospectionServer {
public:
    IntrospectionServer(const std::string &certificate = {}, const std::string &key = {});
    ~IntrospectionServer();
    IntrospectionServer(const IntrospectionServer &) = delete;
    IntrospectionServer &operator=(const IntrospectionServer &) = delete;

    int Port() const { return m_port; }  // 0 when it did not start
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/introspect"; }
    int TlsPort() const { return m_tlsPort; }  // the OAuth provider's; 0 when none
    // A GET of a test control (/approve?..., /revoke, /expires?..., /stats)
    // over plain HTTP; its answer's body, empty when none came.
    std::string Control(const std::string &pathAndQuery) const;

private:
    pid_t m_pid = -1;
    int m_input = -1;
    int m_port = 0;
    int m_tlsPort = 0;
};
