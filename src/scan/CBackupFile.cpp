// SPDX-License-Identifier: GPL-3.0-or-later
#include "CBackupFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// The folder entry of a new file is durable only once its folder is.
bool SyncFolderOf(const std::string &name) {
    const size_t slash = name.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : name.substr(0, slash + 1);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

}  // namespace

CBackupFile::~CBackupFile() {
    if (!m_committed) Remove();
}

bool CBackupFile::Claim(const std::string &name) {
    if (!m_name.empty() || name.empty()) return false;
    const std::string stem = name.size() >= 4 && name.compare(name.size() - 4, 4, ".txt") == 0
                                 ? name.substr(0, name.size() - 4)
                                 : name;
    std::string candidate = name;
    for (int number = 2; number <= 10000; ++number) {
        m_fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (m_fd >= 0) {
            m_name = candidate;
            return true;
        }
        if (errno != EEXIST) return false;
        candidate = stem + "_" + std::to_string(number) + ".txt";
    }
    return false;
}

int CBackupFile::Open(OpenMode mode) {
    if (m_fd < 0 || mode == OpenMode::Read) return -1;
    if (mode == OpenMode::Write) {
        if (::ftruncate(m_fd, 0) != 0 || ::lseek(m_fd, 0, SEEK_SET) != 0) return -1;
        m_failed = false;
    }
    return 0;
}

int CBackupFile::Write(const char *data, int count) {
    if (m_fd < 0 || data == nullptr || count <= 0) return 0;
    int written = 0;
    while (written < count) {
        const ssize_t n = ::write(m_fd, data + written, static_cast<size_t>(count - written));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            m_failed = true;
            break;
        }
        written += static_cast<int>(n);
    }
    return written;
}

int CBackupFile::WriteLine(const char *text) {
    if (text == nullptr) return -1;
    const int length = static_cast<int>(std::strlen(text));
    return Write(text, length) == length && Write("\r\n", 2) == 2 ? 0 : -1;
}

bool CBackupFile::Commit() {
    if (m_fd < 0) return false;
    bool durable = !m_failed && ::fsync(m_fd) == 0;
    durable = ::close(m_fd) == 0 && durable;
    m_fd = -1;
    durable = durable && SyncFolderOf(m_name);
    if (!durable) {
        Remove();
        return false;
    }
    m_committed = true;
    return true;
}

void CBackupFile::Remove() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    if (!m_name.empty()) ::unlink(m_name.c_str());
    m_name.clear();
    m_committed = false;
}
