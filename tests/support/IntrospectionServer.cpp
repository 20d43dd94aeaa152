// SPDX-License-Identifier: GPL-3.0-or-later
#include "IntrospectionServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

IntrospectionServer::IntrospectionServer(const std::string &certificate, const std::string &key) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) return;
    if (::pipe2(out, O_CLOEXEC) != 0) {
        ::close(in[0]), ::close(in[1]);
        return;
    }
    m_pid = ::fork();
    if (m_pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // goes with the test process
        ::dup2(in[0], 0), ::dup2(out[1], 1);
        if (certificate.empty())
            ::execlp("python3", "python3", PELLORU_SUPPORT_DIR "/introspect.py", nullptr);
        else
            ::execlp("python3", "python3", PELLORU_SUPPORT_DIR "/introspect.py", certificate.c_str(), key.c_str(),
                     nullptr);
        ::_exit(127);
    }
    ::close(in[0]), ::close(out[1]);
    m_input = in[1];
    // The port may arrive in more than one read: take it only once its line
    // is whole, or the test talks to some other port.
    char text[32] = {};
    size_t used = 0;
    for (int round = 0; m_pid > 0 && round < 100 && used < sizeof text - 1; ++round) {
        pollfd ready{out[0], POLLIN, 0};
        if (::poll(&ready, 1, 100) != 1) continue;
        const ssize_t got = ::read(out[0], text + used, sizeof text - 1 - used);
        if (got <= 0) break;
        used += static_cast<size_t>(got);
        if (std::memchr(text, '\n', used) != nullptr) {
            char *rest = nullptr;
            m_port = static_cast<int>(std::strtol(text, &rest, 10));
            m_tlsPort = static_cast<int>(std::strtol(rest, nullptr, 10));
            break;
        }
    }
    ::close(out[0]);
}

IntrospectionServer::~IntrospectionServer() {
    if (m_input >= 0) ::close(m_input);
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
}

std::string IntrospectionServer::Control(const std::string &pathAndQuery) const {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return {};
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(m_port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    const std::string request = "GET " + pathAndQuery + " HTTP/1.0\r\n\r\n";
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
        char piece[4096];
        for (ssize_t got; (got = ::recv(fd, piece, sizeof piece, 0)) > 0;) answer.append(piece, static_cast<size_t>(got));
    }
    ::close(fd);
    const size_t body = answer.find("\r\n\r\n");
    return body == std::string::npos ? std::string() : answer.substr(body + 4);
}
