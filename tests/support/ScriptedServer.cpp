// SPDX-License-Identifier: GPL-3.0-or-later
#include "ScriptedServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/ssl.h>

#include <cerrno>
#include <chrono>

namespace {

constexpr int kAcceptTimeoutMs = 10000;
constexpr int kLineTimeoutMs = 10000;
constexpr int kLingerTimeoutMs = 10000;

int Listen(int *port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(fd, 4) != 0) {
        ::close(fd);
        return -1;
    }
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    *port = ntohs(address.sin_port);
    return fd;
}

bool WaitReadable(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    int rc;
    do rc = ::poll(&p, 1, timeoutMs);
    while (rc < 0 && errno == EINTR);
    return rc > 0;
}

}  // namespace

int FindClosedPort() {
    int port = 0;
    int fd = Listen(&port);
    if (fd >= 0) ::close(fd);
    return port;
}

ScriptedServer::ScriptedServer() { m_listen = Listen(&m_port); }

ScriptedServer::~ScriptedServer() {
    m_stop = true;
    int fd = m_current.load();
    if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
    if (m_listen >= 0) ::shutdown(m_listen, SHUT_RDWR);
    if (m_thread.joinable()) m_thread.join();
    if (m_listen >= 0) ::close(m_listen);
}

ScriptedServer &ScriptedServer::Send(const std::string &bytes) {
    m_steps.push_back({Step::kSend, bytes, 0});
    return *this;
}

ScriptedServer &ScriptedServer::SendSplit(const std::string &bytes, size_t piece, int pauseMs) {
    for (size_t at = 0; at < bytes.size(); at += piece) {
        if (at > 0) Pause(pauseMs);
        Send(bytes.substr(at, piece));
    }
    return *this;
}

ScriptedServer &ScriptedServer::Expect(const std::string &line) {
    m_steps.push_back({Step::kExpect, line, 0});
    return *this;
}

ScriptedServer &ScriptedServer::Pause(int milliseconds) {
    m_steps.push_back({Step::kPause, {}, milliseconds});
    return *this;
}

ScriptedServer &ScriptedServer::ExpectSilence(int milliseconds) {
    m_steps.push_back({Step::kSilence, {}, milliseconds});
    return *this;
}

ScriptedServer &ScriptedServer::Close() {
    m_steps.push_back({Step::kClose, {}, 0});
    return *this;
}

ScriptedServer &ScriptedServer::Hangup() {
    m_steps.push_back({Step::kHangup, {}, 0});
    return *this;
}

ScriptedServer &ScriptedServer::Respond(std::function<std::string(const std::string &)> answer) {
    Step step{Step::kRespond, {}, 0};
    step.answer = std::move(answer);
    m_steps.push_back(std::move(step));
    return *this;
}

ScriptedServer &ScriptedServer::NextConnection() {
    m_steps.push_back({Step::kNext, {}, 0});
    return *this;
}

ScriptedServer &ScriptedServer::LogOn() {
    // A server that answers CAPA only after the log-on, as some do: the
    // client then logs on with USER and PASS.
    return Send("+OK ready\r\n")
        .Expect("CAPA\r\n")
        .Send("-ERR not before the log-on\r\n")
        .Expect("USER user\r\n")
        .Send("+OK\r\n")
        .Expect("PASS secret\r\n")
        .Send("+OK logged on\r\n");
}

void ScriptedServer::EnableTls(const std::string &certificate, const std::string &key) {
    m_certificate = certificate;
    m_key = key;
}

bool ScriptedServer::SendBytes(int fd, const std::string &bytes) {
    if (m_ssl != nullptr)
        return bytes.empty() ||
               SSL_write(static_cast<SSL *>(m_ssl), bytes.data(), static_cast<int>(bytes.size())) > 0;
    return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) >= 0;
}

void ScriptedServer::Start() { m_thread = std::thread([this] { Run(); }); }

void ScriptedServer::Finish() {
    if (m_thread.joinable()) m_thread.join();
}

std::string ScriptedServer::Received() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received;
}

std::vector<std::string> ScriptedServer::Failures() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_failures;
}

void ScriptedServer::Fail(const std::string &text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_failures.push_back(text);
}

void ScriptedServer::Run() {
    // A client that hangs up first must not end the test process: OpenSSL
    // writes without MSG_NOSIGNAL, so this thread takes no SIGPIPE at all.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    size_t step = 0;
    while (!m_stop && m_listen >= 0) {
        if (!WaitReadable(m_listen, kAcceptTimeoutMs)) {
            if (step < m_steps.size()) Fail("no connection arrived");
            return;
        }
        int fd = ::accept(m_listen, nullptr, nullptr);
        if (fd < 0) return;
        ++m_connections;
        m_current = fd;
        SSL_CTX *context = nullptr;
        if (!m_certificate.empty()) {
            context = SSL_CTX_new(TLS_server_method());
            if (context == nullptr ||
                SSL_CTX_use_certificate_file(context, m_certificate.c_str(), SSL_FILETYPE_PEM) != 1 ||
                SSL_CTX_use_PrivateKey_file(context, m_key.c_str(), SSL_FILETYPE_PEM) != 1) {
                Fail("cannot set up TLS");
            } else {
                SSL *ssl = SSL_new(context);
                SSL_set_fd(ssl, fd);
                if (SSL_accept(ssl) == 1)
                    m_ssl = ssl;
                else
                    SSL_free(ssl);
            }
        }
        bool more = false;
        if (m_certificate.empty() || m_ssl != nullptr) {
            more = RunConnection(fd, step);
        } else {
            // The client refused the handshake (a certificate it does not
            // trust): this connection's steps are skipped, the next one's run.
            while (step < m_steps.size() && m_steps[step].kind != Step::kNext) ++step;
            more = step < m_steps.size() && ++step < m_steps.size();
        }
        if (m_hungUp) {
            // A reset instead of an orderly close.
            linger now{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
        }
        if (m_ssl != nullptr) {
            if (!m_hungUp) SSL_shutdown(static_cast<SSL *>(m_ssl));
            SSL_free(static_cast<SSL *>(m_ssl));
            m_ssl = nullptr;
        }
        if (context != nullptr) SSL_CTX_free(context);
        m_current = -1;
        m_hungUp = false;
        ::close(fd);
        if (!more) return;
    }
}

// Runs steps up to the end of the script or a connection break; returns
// true when a later connection has steps of its own.
bool ScriptedServer::RunConnection(int fd, size_t &step) {
    for (; step < m_steps.size() && !m_stop; ++step) {
        const Step &s = m_steps[step];
        switch (s.kind) {
        case Step::kSend:
            if (!SendBytes(fd, s.bytes)) {
                Fail("send failed");
                return false;
            }
            break;
        case Step::kExpect: {
            std::string line;
            if (!ReadLine(fd, line, kLineTimeoutMs)) {
                Fail("expected '" + s.bytes + "', got nothing more than '" + line + "'");
                return false;
            }
            if (line != s.bytes) Fail("expected '" + s.bytes + "', got '" + line + "'");
            break;
        }
        case Step::kPause:
            std::this_thread::sleep_for(std::chrono::milliseconds(s.pauseMs));
            break;
        case Step::kSilence:
            if ((m_ssl != nullptr && SSL_pending(static_cast<SSL *>(m_ssl)) > 0) ||
                WaitReadable(fd, s.pauseMs))
                Fail("the client sent more while it should have waited");
            break;
        case Step::kRespond: {
            std::string line;
            if (!ReadLine(fd, line, kLineTimeoutMs)) {
                Fail("expected a line to answer, got nothing more than '" + line + "'");
                return false;
            }
            if (!SendBytes(fd, s.answer(line))) {
                Fail("send failed");
                return false;
            }
            break;
        }
        case Step::kHangup:
            m_hungUp = true;
            [[fallthrough]];
        case Step::kClose:
            ++step;
            return step < m_steps.size();
        case Step::kNext:
            ++step;
            return true;
        }
    }
    // Script done: keep reading (and recording) until the client hangs up.
    std::string rest;
    while (!m_stop && ReadLine(fd, rest, kLingerTimeoutMs)) rest.clear();
    return false;
}

bool ScriptedServer::ReadLine(int fd, std::string &line, int timeoutMs) {
    char c;
    for (;;) {
        SSL *ssl = static_cast<SSL *>(m_ssl);
        if ((ssl == nullptr || SSL_pending(ssl) == 0) && !WaitReadable(fd, timeoutMs)) return false;
        ssize_t n = ssl != nullptr ? SSL_read(ssl, &c, 1) : ::recv(fd, &c, 1, 0);
        if (n <= 0) return false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_received.push_back(c);
        }
        line.push_back(c);
        if (c == '\n') return true;
    }
}
