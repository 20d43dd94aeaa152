// SPDX-License-Identifier: GPL-3.0-or-later
// One read/write/seek/search interface over memory buffers and files: the
// way whole message texts travel between the layers. Results are counts or
// positions, 0 for success and -1 for failure.
#pragma once

enum class OpenMode { Read = 0, Write = 1, Append = 2 };
enum class SeekOrigin { Begin = 0, Current = 1, End = 2 };

class CUT_ByteSource {
public:
    // Largest pattern Find accepts is one less than this; data moves in
    // chunks of one less, too.
    static constexpr int kChunkSize = 4096;

    virtual ~CUT_ByteSource();
    // A new, unopened source of the same kind; the caller owns it. Null
    // when it cannot be made.
    virtual CUT_ByteSource *Clone() = 0;
    virtual int Open(OpenMode mode) = 0;
    virtual int Close() = 0;
    virtual int ReadLine(char *buffer, int size) = 0;
    virtual int WriteLine(const char *text) = 0;
    virtual int Read(char *buffer, int count) = 0;
    virtual int Write(const char *data, int count) = 0;
    virtual int Seek(int offset, SeekOrigin origin) = 0;
    // Offset of the first occurrence of text at or after start, or -1.
    // caseSensitive 0 folds ASCII letters. limit > 0 bounds the search, as
    // tested when the search moves on to the next chunk.
    virtual int Find(const char *text, int start, int caseSensitive, int limit);
    // 1 when the whole content was written to the file, else 0.
    virtual int SaveToFile(const char *fileName);
};

// Names are stored up to this many characters (and a NUL).
constexpr int kSourceNameSize = 260;

// Copies at most kSourceNameSize - 1 characters of name (null: empty).
void CopySourceName(char (&target)[kSourceNameSize], const char *name);
