#include "IntrospectionServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

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
    char text[16] = {};
    pollfd ready{out[0], POLLIN, 0};
    if (m_pid > 0 && ::poll(&ready, 1, 10000) == 1 && ::read(out[0], text, sizeof text - 1) > 0)
        m_port = std::atoi(text);
    ::close(out[0]);
}

IntrospectionServer::~IntrospectionServer() {
    if (m_input >= 0) ::close(m_input);
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
}
