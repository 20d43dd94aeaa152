// SPDX-License-Identifier: GPL-3.0-or-later
#include "CUT_MemorySource.h"

#include <cstring>
#include <new>

#include "TextHelpers.h"

CUT_MemorySource::CUT_MemorySource(char *data, int capacity, const char *name)
    : m_capacity(capacity < 0 ? 0 : capacity) {
    if (data == nullptr) {
        // Without memory the source stays usable as an empty one that
        // refuses every operation.
        m_data = new (std::nothrow) char[static_cast<size_t>(m_capacity) + 1];
        if (m_data == nullptr) {
            m_capacity = 0;
        } else {
            m_data[0] = '\0';
            m_owns = 1;
        }
    } else {
        m_data = data;
    }
    m_length = m_capacity;
    CopySourceName(m_name, name);
}

CUT_MemorySource::CUT_MemorySource(Adopt, char *data, int capacity, int length, const char *name)
    : m_data(data), m_capacity(capacity), m_length(length), m_owns(1) {
    CopySourceName(m_name, name);
}

CUT_MemorySource::~CUT_MemorySource() {
    if (m_owns) delete[] m_data;
}

CUT_ByteSource *CUT_MemorySource::Clone() {
    if (m_data == nullptr) return nullptr;
    char *copy = new (std::nothrow) char[static_cast<size_t>(m_capacity) + 1];
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, m_data, static_cast<size_t>(m_capacity));
    copy[m_capacity] = '\0';
    CUT_MemorySource *clone = new (std::nothrow) CUT_MemorySource(Adopt{}, copy, m_capacity,
                                                                   m_length, m_name);
    if (clone == nullptr) delete[] copy;
    return clone;
}

int CUT_MemorySource::Open(OpenMode mode) {
    if (m_data == nullptr) return -1;
    // The text's length, but never beyond the capacity: a caller's buffer
    // need not carry a NUL of its own.
    const int text = static_cast<int>(strnlen(m_data, static_cast<size_t>(m_capacity)));
    switch (mode) {
    case OpenMode::Read:
        m_position = 0;
        m_length = text;
        break;
    case OpenMode::Append:
        m_position = text;
        m_length = text;
        break;
    default:
        m_position = 0;
        m_length = 0;
        break;
    }
    return 0;
}

int CUT_MemorySource::Close() { return 0; }

int CUT_MemorySource::Read(char *buffer, int count) {
    if (buffer == nullptr || m_data == nullptr || count < 0) return -1;
    int available = m_length - m_position;
    int k = count < available ? count : available;
    if (k < 0) k = 0;
    std::memcpy(buffer, m_data + m_position, static_cast<size_t>(k));
    buffer[k] = '\0';
    m_position += k;
    return k;
}

int CUT_MemorySource::Write(const char *data, int count) {
    if (data == nullptr || m_data == nullptr || count < 0) return -1;
    int room = m_capacity - m_position;
    int k = count < room ? count : room;
    if (k < 0) k = 0;
    std::memmove(m_data + m_position, data, static_cast<size_t>(k));
    m_position += k;
    m_length = m_position;
    m_data[m_position] = '\0';
    return k;
}

int CUT_MemorySource::ReadLine(char *buffer, int size) {
    if (buffer == nullptr || size < 1) return -1;
    int n = Read(buffer, size - 1);
    if (n <= 0) return 0;
    const char *cr = static_cast<const char *>(std::memchr(buffer, '\r', std::strlen(buffer)));
    if (cr == nullptr) return n;  // a piece of a longer line
    int line = static_cast<int>(cr - buffer) + 1;
    if (line < n && buffer[line] == '\n') ++line;
    buffer[line] = '\0';
    m_position -= n - line;
    return line;
}

int CUT_MemorySource::WriteLine(const char *text) {
    if (text == nullptr || m_data == nullptr) return -1;
    const size_t textLength = std::strlen(text);
    const int room = m_capacity - m_position;
    const int k = textLength < static_cast<size_t>(room) ? static_cast<int>(textLength) : room;
    if (textLength > 0 && Write(text, k) == -1) return -1;
    if (!EndsWithLineBreak(text) && Write("\r\n", 2) == -1) return -1;
    return k;
}

int CUT_MemorySource::Seek(int offset, SeekOrigin origin) {
    long long target;
    switch (origin) {
    case SeekOrigin::Begin: target = offset; break;
    case SeekOrigin::Current: target = static_cast<long long>(m_position) + offset; break;
    case SeekOrigin::End: target = static_cast<long long>(m_length) - offset; break;
    default: return -1;
    }
    if (target < 0 || target > m_length) return -1;
    m_position = static_cast<int>(target);
    return m_position;
}
