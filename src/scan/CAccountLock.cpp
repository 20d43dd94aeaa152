// SPDX-License-Identifier: GPL-3.0-or-later
#include "CAccountLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>

#include "CMessageCache.h"

CAccountLock::~CAccountLock() {
    // Closing the file gives the lock up.
    if (m_fd >= 0) ::close(m_fd);
}

std::string CAccountLock::PathFor(const std::string &programName, const std::string &accountKey) {
    return CMessageCache::FileFor(programName, accountKey) + ".lock";
}

CAccountLock::Result CAccountLock::Take(const std::string &path, int seconds, const std::atomic<bool> *stop) {
    const std::string folder = path.substr(0, path.rfind('/'));
    std::error_code ec;
    if (!std::filesystem::exists(folder, ec)) {
        std::filesystem::create_directories(folder, ec);
        ::chmod(folder.c_str(), 0700);
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0) return Unavailable;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            m_fd = fd;
            return Held;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            ::close(fd);
            return Unavailable;
        }
        if (stop != nullptr && stop->load()) {
            ::close(fd);
            return Stopped;
        }
        if (std::chrono::steady_clock::now() >= until) {
            ::close(fd);
            return Busy;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}
