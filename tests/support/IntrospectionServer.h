// tests/support/introspect.py on a free loopback port, the token
// introspection endpoint of the tests' Dovecot: "gueltig" is an active
// token of the user pelloru, every other one is not. Stopped by its
// process id when the object goes.
#pragma once

#include <sys/types.h>

#include <string>

class IntrospectionServer {
public:
    IntrospectionServer();
    ~IntrospectionServer();
    IntrospectionServer(const IntrospectionServer &) = delete;
    IntrospectionServer &operator=(const IntrospectionServer &) = delete;

    int Port() const { return m_port; }  // 0 when it did not start
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/introspect"; }

private:
    pid_t m_pid = -1;
    int m_input = -1;
    int m_port = 0;
};
