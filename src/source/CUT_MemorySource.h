// SPDX-License-Identifier: GPL-3.0-or-later
// A text buffer of fixed capacity as a byte source. It never grows: bytes
// beyond the capacity are dropped and the stored count is returned.
#pragma once

#include "CUT_ByteSource.h"

class CUT_MemorySource : public CUT_ByteSource {
public:
    // With data null the source allocates capacity + 1 bytes and owns them;
    // a caller's buffer must hold capacity + 1 bytes and stays the caller's.
    CUT_MemorySource(char *data, int capacity, const char *name = nullptr);
    ~CUT_MemorySource() override;
    CUT_MemorySource(const CUT_MemorySource &) = delete;
    CUT_MemorySource &operator=(const CUT_MemorySource &) = delete;

    CUT_ByteSource *Clone() override;
    int Open(OpenMode mode) override;
    int Close() override;
    // Ends a line at CR, or CR LF; a lone LF does not end one.
    int ReadLine(char *buffer, int size) override;
    int WriteLine(const char *text) override;
    int Read(char *buffer, int count) override;
    int Write(const char *data, int count) override;
    // End counts back from the end: the new position is length - offset.
    int Seek(int offset, SeekOrigin origin) override;

    const char *Data() const { return m_data; }
    int Capacity() const { return m_capacity; }
    int Length() const { return m_length; }
    int Position() const { return m_position; }
    const char *Name() const { return m_name; }

private:
    struct Adopt {};
    CUT_MemorySource(Adopt, char *data, int capacity, int length, const char *name);

    char *m_data = nullptr;
    int m_capacity = 0;
    int m_length = 0;
    char m_name[kSourceNameSize] = {};
    int m_owns = 0;
    int m_position = 0;
};
