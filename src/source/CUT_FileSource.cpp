// SPDX-License-Identifier: GPL-3.0-or-later
#include "CUT_FileSource.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "TextHelpers.h"

CUT_FileSource::CUT_FileSource(const char *name, int lookAheadSize)
    // Two bytes at least: one of data and the terminating NUL.
    : m_lookAheadSize(lookAheadSize < 2 ? 2 : lookAheadSize) {
    m_lookAhead.reset(new (std::nothrow) char[static_cast<size_t>(m_lookAheadSize)]);
    if (!m_lookAhead) m_lookAheadSize = 0;
    CopySourceName(m_name, name);
}

CUT_FileSource::~CUT_FileSource() = default;

CUT_ByteSource *CUT_FileSource::Clone() {
    return new (std::nothrow) CUT_FileSource(m_name, m_lookAheadSize);
}

int CUT_FileSource::Open(OpenMode mode) {
    if (m_name[0] == '\0') return -1;
    m_lookAheadCount = 0;
    switch (mode) {
    case OpenMode::Read:
        return m_file.Open(m_name, CUT_FileHandle::kRead, CUT_FileHandle::kOpenExisting, 0);
    case OpenMode::Write:
        return m_file.Open(m_name, CUT_FileHandle::kReadWrite, CUT_FileHandle::kCreateAlways, 0);
    case OpenMode::Append:
        return m_file.Open(m_name, CUT_FileHandle::kReadWrite, CUT_FileHandle::kOpenAlways, 1);
    }
    return -1;
}

int CUT_FileSource::Close() {
    m_file.Close();
    m_lookAheadCount = 0;
    return 0;
}

int CUT_FileSource::Read(char *buffer, int count) {
    if (buffer == nullptr) return -1;
    m_lookAheadCount = 0;
    return m_file.Read(buffer, count);
}

int CUT_FileSource::Write(const char *data, int count) {
    if (data == nullptr) return -1;
    return m_file.Write(data, count);
}

void CUT_FileSource::DropFront(int count) {
    std::memmove(m_lookAhead.get(), m_lookAhead.get() + count,
                 static_cast<size_t>(m_lookAheadCount - count));
    m_lookAheadCount -= count;
    m_lookAhead[m_lookAheadCount] = '\0';
}

int CUT_FileSource::ReadLine(char *buffer, int size) {
    if (buffer == nullptr || size < 1) return -1;
    if (!m_lookAhead) {
        buffer[0] = '\0';
        return 0;
    }
    char *ahead = m_lookAhead.get();
    static const char kCrLf[] = "\r\n";
    // Byte searches over the buffered count: a NUL in the file is data.
    auto findLineEnd = [&]() {
        char *end = ahead + m_lookAheadCount;
        char *found = std::search(ahead, end, kCrLf, kCrLf + 2);
        return found == end ? nullptr : found;
    };

    ahead[m_lookAheadCount] = '\0';
    char *lineEnd = m_lookAheadCount > 0 ? findLineEnd() : nullptr;
    if (lineEnd == nullptr) {
        int room = m_lookAheadSize - m_lookAheadCount - 1;
        if (room > 0) {
            int n = m_file.Read(ahead + m_lookAheadCount, room);
            if (n > 0) m_lookAheadCount += n;
        }
        ahead[m_lookAheadCount] = '\0';
        if (m_lookAheadCount <= 0) {
            buffer[0] = '\0';
            return 0;
        }
        lineEnd = findLineEnd();
    }

    if (lineEnd != nullptr) {
        int length = static_cast<int>(lineEnd - ahead);
        if (length < size - 3) {
            std::memcpy(buffer, ahead, static_cast<size_t>(length));
            std::memcpy(buffer + length, kCrLf, 3);
            DropFront(length + 2);
            return length + 2;
        }
    }
    // No line end in reach, or the line is too long: hand out a piece.
    int piece = std::min(m_lookAheadCount, size - 1);
    std::memcpy(buffer, ahead, static_cast<size_t>(piece));
    buffer[piece] = '\0';
    DropFront(piece);
    return piece;
}

int CUT_FileSource::WriteLine(const char *text) {
    if (text == nullptr) return -1;
    const size_t length = std::strlen(text);
    int result = length > 0 ? m_file.Write(text, static_cast<int>(length)) : 0;
    if (!EndsWithLineBreak(text)) m_file.Write("\r\n", 2);
    return result;
}

int CUT_FileSource::Seek(int offset, SeekOrigin origin) {
    // The file runs ahead of the reader by what the look-ahead holds.
    if (origin == SeekOrigin::Current && m_lookAheadCount > 0)
        m_file.Seek(-m_lookAheadCount, static_cast<int>(SeekOrigin::Current));
    m_lookAheadCount = 0;
    return m_file.Seek(offset, static_cast<int>(origin));
}
