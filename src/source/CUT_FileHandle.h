// SPDX-License-Identifier: GPL-3.0-or-later
// A thin file object over the platform's file calls, used by the file
// source. Not a byte source itself.
#pragma once

class CUT_FileHandle {
public:
    // What the file is opened for, and what happens when it does or does
    // not exist (the same choices the Windows file calls offer).
    enum Access { kRead = 1, kReadWrite = 3 };
    enum Disposition { kOpenExisting = 0, kCreateAlways = 1, kOpenAlways = 2 };

    CUT_FileHandle() = default;
    virtual ~CUT_FileHandle();
    CUT_FileHandle(const CUT_FileHandle &) = delete;
    CUT_FileHandle &operator=(const CUT_FileHandle &) = delete;

    // Names beginning or ending with a space open the trimmed name.
    // 0 on success, -1 on failure (the handle stays closed).
    virtual int Open(const char *name, int access, int disposition, int append);
    virtual int Close();
    // Bytes read (0 at the end), -1 when closed or on failure.
    virtual int Read(char *buffer, int count);
    // Bytes written, -1 when closed or on failure. In append mode every
    // write goes to the end of the file.
    virtual int Write(const char *data, int count);
    // The new position, -1 when closed or on failure.
    virtual int Seek(int offset, int method);
    virtual int GetSize();

    bool IsOpen() const { return m_handle != -1; }

private:
    int m_handle = -1;
    int m_append = 0;
};
