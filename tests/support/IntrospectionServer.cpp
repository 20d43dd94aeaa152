#include "IntrospectionServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

IntrospectionServer::IntrospectionServer() {
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
        ::execlp("python3", "python3", PELLORU_SUPPORT_DIR "/introspect.py", nullptr);
        ::_exit(127);
    }
    ::close(in[0]), ::close(out[1]);
    m_input = in[1];
    // The port may arrive in more than one read: take it only once its line
    // is whole, or the test talks to some other port.
    char text[16] = {};
    size_t used = 0;
    for (int round = 0; m_pid > 0 && round < 100 && used < sizeof text - 1; ++round) {
        pollfd ready{out[0], POLLIN, 0};
        if (::poll(&ready, 1, 100) != 1) continue;
        const ssize_t got = ::read(out[0], text + used, sizeof text - 1 - used);
        if (got <= 0) break;
        used += static_cast<size_t>(got);
        if (std::memchr(text, '\n', used) != nullptr) {
            m_port = std::atoi(text);
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
