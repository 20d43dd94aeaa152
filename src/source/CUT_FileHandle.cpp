// SPDX-License-Identifier: GPL-3.0-or-later
#include "CUT_FileHandle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace {
constexpr size_t kMaxPath = 260;
}

CUT_FileHandle::~CUT_FileHandle() { Close(); }

int CUT_FileHandle::Open(const char *name, int access, int disposition, int append) {
    Close();
    if (name == nullptr) return -1;

    char trimmed[kMaxPath];
    const size_t length = std::strlen(name);
    if (length > 0 && (name[0] == ' ' || name[length - 1] == ' ')) {
        size_t begin = 0;
        size_t end = length;
        while (begin < end && name[begin] == ' ') ++begin;
        while (end > begin && name[end - 1] == ' ') --end;
        size_t kept = end - begin;
        if (kept > kMaxPath - 1) kept = kMaxPath - 1;
        std::memcpy(trimmed, name + begin, kept);
        trimmed[kept] = '\0';
        name = trimmed;
    }
    if (*name == '\0') return -1;

    int flags = O_CLOEXEC | ((access & 2) != 0 ? O_RDWR : O_RDONLY);
    switch (disposition) {
    case kOpenExisting: break;
    case kCreateAlways: flags |= O_CREAT | O_TRUNC; break;
    case kOpenAlways: flags |= O_CREAT; break;
    default: return -1;
    }
    int handle;
    do handle = ::open(name, flags, 0644);
    while (handle < 0 && errno == EINTR);
    if (handle < 0) return -1;
    // A directory opens for reading here but is no file to work on.
    struct stat info;
    if (::fstat(handle, &info) != 0 || S_ISDIR(info.st_mode)) {
        ::close(handle);
        return -1;
    }
    m_handle = handle;
    m_append = append != 0 ? 1 : 0;
    return 0;
}

int CUT_FileHandle::Close() {
    if (m_handle != -1) {
        ::close(m_handle);
        m_handle = -1;
    }
    return 0;
}

int CUT_FileHandle::Read(char *buffer, int count) {
    if (m_handle == -1 || buffer == nullptr || count < 0) return -1;
    // A file read returns everything asked for unless the end comes first.
    int total = 0;
    while (total < count) {
        ssize_t n = ::read(m_handle, buffer + total, static_cast<size_t>(count - total));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return total > 0 ? total : -1;
        if (n == 0) break;
        total += static_cast<int>(n);
    }
    return total;
}

int CUT_FileHandle::Write(const char *data, int count) {
    if (m_handle == -1 || data == nullptr || count < 0) return -1;
    if (m_append && Seek(0, SEEK_END) < 0) return -1;
    int total = 0;
    while (total < count) {
        ssize_t n = ::write(m_handle, data + total, static_cast<size_t>(count - total));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -1;
        total += static_cast<int>(n);
    }
    return total;
}

int CUT_FileHandle::Seek(int offset, int method) {
    if (m_handle == -1) return -1;
    int whence;
    switch (method) {
    case 0: whence = SEEK_SET; break;
    case 1: whence = SEEK_CUR; break;
    case 2: whence = SEEK_END; break;
    default: return -1;
    }
    off_t position = ::lseek(m_handle, offset, whence);
    if (position < 0 || position > INT_MAX) return -1;
    return static_cast<int>(position);
}

int CUT_FileHandle::GetSize() {
    if (m_handle == -1) return -1;
    struct stat info;
    if (::fstat(m_handle, &info) != 0 || info.st_size > INT_MAX) return -1;
    return static_cast<int>(info.st_size);
}
