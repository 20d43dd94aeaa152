// SPDX-License-Identifier: GPL-3.0-or-later
#include "SocketPlatform.h"

#include <cerrno>
#include <chrono>
#include <climits>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace net_platform {
namespace {

int ToMilliseconds(long seconds, long microseconds) {
    if (seconds < 0) seconds = 0;
    if (microseconds < 0) microseconds = 0;
    long long ms = static_cast<long long>(seconds) * 1000 + (microseconds + 999) / 1000;
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

int WaitFor(SocketHandle socket, short events, long seconds, long microseconds) {
    if (socket < 0) {
        errno = EBADF;
        return -1;
    }
    using Clock = std::chrono::steady_clock;
    const int total = ToMilliseconds(seconds, microseconds);
    const auto deadline = Clock::now() + std::chrono::milliseconds(total);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        int wait = left.count() < 0 ? 0 : static_cast<int>(left.count());
        pollfd fd{socket, events, 0};
        int rc = ::poll(&fd, 1, wait);
        if (rc < 0 && errno == EINTR) continue;
        if (rc < 0) return -1;
        if (rc == 0) return 0;
        if (fd.revents & POLLNVAL) {
            errno = EBADF;
            return -1;
        }
        return 1;
    }
}

}  // namespace

int CloseSocket(SocketHandle socket) { return ::close(socket) == 0 ? 0 : -1; }

int Shutdown(SocketHandle socket, int how) { return ::shutdown(socket, how) == 0 ? 0 : -1; }

int Recv(SocketHandle socket, char *buffer, int length, int flags) {
    if (length < 0) length = 0;
    for (;;) {
        ssize_t n = ::recv(socket, buffer, static_cast<size_t>(length), flags);
        if (n < 0 && errno == EINTR) continue;
        return n < 0 ? -1 : static_cast<int>(n);
    }
}

int Send(SocketHandle socket, const char *data, int length, int flags) {
    if (length < 0) length = 0;
    for (;;) {
        ssize_t n = ::send(socket, data, static_cast<size_t>(length), flags | MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        return n < 0 ? -1 : static_cast<int>(n);
    }
}

int BytesWaiting(SocketHandle socket) {
    int count = 0;
    if (::ioctl(socket, FIONREAD, &count) != 0) return -1;
    return count;
}

int WaitReadable(SocketHandle socket, long seconds, long microseconds) {
    return WaitFor(socket, POLLIN, seconds, microseconds);
}

int WaitWritable(SocketHandle socket, long seconds, long microseconds) {
    return WaitFor(socket, POLLOUT, seconds, microseconds);
}

int SetNonBlocking(SocketHandle socket, bool nonBlocking) {
    int flags = ::fcntl(socket, F_GETFL, 0);
    if (flags < 0) return -1;
    flags = nonBlocking ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return ::fcntl(socket, F_SETFL, flags) == 0 ? 0 : -1;
}

int PendingError(SocketHandle socket) {
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
    return error;
}

int LastError() { return errno; }

}  // namespace net_platform
