// SPDX-License-Identifier: GPL-3.0-or-later
// What the queue transfers of the socket client need of a queue of bytes:
// its size, a read and a write. Callers bring their own implementation.
#pragma once

class CUT_DataQueue {
public:
    virtual ~CUT_DataQueue() = default;
    // Size of the queue's data in bytes.
    virtual long GetDataSize() = 0;
    // Reads up to `count` bytes; returns the number read (0 at the end).
    virtual int ReadData(char *buffer, int count) = 0;
    // Writes `count` bytes; returns the number written.
    virtual int WriteData(const char *data, int count) = 0;
};
