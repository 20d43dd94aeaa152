// SPDX-License-Identifier: GPL-3.0-or-later
#include "DelayProxy.h"

#include <unistd.h>

#include <cstdlib>

int StartDelayProxy(const std::string &benchDir, int target, double delayMs, bool strip, pid_t *pid) {
    int fds[2];
    if (::pipe(fds) != 0) return 0;
    *pid = ::fork();
    if (*pid == 0) {
        ::dup2(fds[1], 1);
        ::close(fds[0]);
        const std::string script = benchDir + "/delay_proxy.py";
        const std::string port = std::to_string(target);
        const std::string delay = std::to_string(delayMs);
        if (strip)
            ::execlp("python3", "python3", script.c_str(), port.c_str(), delay.c_str(), "--strip",
                     "PIPELINING", static_cast<char *>(nullptr));
        else
            ::execlp("python3", "python3", script.c_str(), port.c_str(), delay.c_str(),
                     static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    char text[32] = {};
    const ssize_t n = ::read(fds[0], text, sizeof text - 1);
    ::close(fds[0]);
    return n > 0 ? std::atoi(text) : 0;
}
