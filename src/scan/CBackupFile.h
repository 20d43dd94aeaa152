// SPDX-License-Identifier: GPL-3.0-or-later
// A backup or save file of one message in the working directory. The name
// is claimed with O_EXCL, so an earlier file is never replaced (a name
// that is taken gets "_2", "_3", ... before ".txt"); the bytes go through
// the descriptor that claimed it, and Commit makes them durable (the file
// and its folder flushed to disk) before anyone relies on them, such as a
// DELE. A file that was claimed but not committed is removed again.
//
// As a byte source it only takes writes: a retrieval writes the message
// into it.
#pragma once

#include <string>

#include "CUT_ByteSource.h"

class CBackupFile : public CUT_ByteSource {
public:
    CBackupFile() = default;
    ~CBackupFile() override;
    CBackupFile(const CBackupFile &) = delete;
    CBackupFile &operator=(const CBackupFile &) = delete;

    // Claims name, or the first free numbered variant of it.
    bool Claim(const std::string &name);
    // The name claimed; empty before.
    const std::string &Name() const { return m_name; }
    // Flushes and closes; true when every byte written is on disk. The
    // file stays. False: the file is removed.
    bool Commit();
    // Removes the file, committed or not.
    void Remove();

    CUT_ByteSource *Clone() override { return nullptr; }
    // Write starts the file again from nothing; Append goes on; Read fails.
    int Open(OpenMode mode) override;
    int Close() override { return 0; }
    int ReadLine(char *, int) override { return -1; }
    int WriteLine(const char *text) override;
    int Read(char *, int) override { return -1; }
    int Write(const char *data, int count) override;
    int Seek(int, SeekOrigin) override { return -1; }

private:
    std::string m_name;
    int m_fd = -1;
    bool m_failed = false;
    bool m_committed = false;
};
