// SPDX-License-Identifier: GPL-3.0-or-later
// A named file as a byte source, with a look-ahead buffer so that lines can
// be handed out without reading the file byte by byte.
#pragma once

#include <memory>

#include "CUT_ByteSource.h"
#include "CUT_FileHandle.h"

class CUT_FileSource : public CUT_ByteSource {
public:
    CUT_FileSource(const char *name, int lookAheadSize = 4096);
    ~CUT_FileSource() override;
    CUT_FileSource(const CUT_FileSource &) = delete;
    CUT_FileSource &operator=(const CUT_FileSource &) = delete;

    CUT_ByteSource *Clone() override;
    // Read: an existing file; Write: created or truncated; Append: opened or
    // created, every write at the end.
    int Open(OpenMode mode) override;
    int Close() override;
    // Splits at CR LF; a last line without one comes back without it.
    int ReadLine(char *buffer, int size) override;
    int WriteLine(const char *text) override;
    int Read(char *buffer, int count) override;
    int Write(const char *data, int count) override;
    int Seek(int offset, SeekOrigin origin) override;

    const char *Name() const { return m_name; }

private:
    void DropFront(int count);

    CUT_FileHandle m_file;
    std::unique_ptr<char[]> m_lookAhead;
    int m_lookAheadSize = 0;
    int m_lookAheadCount = 0;
    char m_name[kSourceNameSize] = {};
};
