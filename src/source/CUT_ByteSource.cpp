// SPDX-License-Identifier: GPL-3.0-or-later
#include "CUT_ByteSource.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "TextHelpers.h"

namespace {

void FoldBytes(char *text, int count) {
    for (int i = 0; i < count; ++i) text[i] = AsciiUpper(text[i]);
}

}  // namespace

CUT_ByteSource::~CUT_ByteSource() = default;

void CopySourceName(char (&target)[kSourceNameSize], const char *name) {
    size_t length = name == nullptr ? 0 : std::strlen(name);
    if (length > kSourceNameSize - 1) length = kSourceNameSize - 1;
    if (length > 0) std::memcpy(target, name, length);
    target[length] = '\0';
}

int CUT_ByteSource::Find(const char *text, int start, int caseSensitive, int limit) {
    if (text == nullptr || *text == '\0') return -1;
    const size_t patternLength = std::strlen(text);
    if (patternLength >= kChunkSize) return -1;
    if (limit > 0 && static_cast<size_t>(limit) < patternLength) return -1;
    const int length = static_cast<int>(patternLength);

    char pattern[kChunkSize];
    std::memcpy(pattern, text, patternLength + 1);
    if (!caseSensitive) FoldBytes(pattern, length);

    if (Seek(start, SeekOrigin::Begin) < 0) return -1;
    long position = start;
    char chunk[kChunkSize + 1];
    int n = Read(chunk, kChunkSize - 1);
    while (n >= length) {
        if (n > kChunkSize - 1) n = kChunkSize - 1;
        if (!caseSensitive) FoldBytes(chunk, n);
        // A byte search: a NUL inside the data does not hide what follows.
        const char *found = std::search(chunk, chunk + n, pattern, pattern + length);
        if (found != chunk + n) return static_cast<int>(position + (found - chunk));
        if (n == length) break;
        // The next chunk overlaps this one by the pattern length.
        position += n - length;
        if (Seek(static_cast<int>(position), SeekOrigin::Begin) < 0) return -1;
        if (limit > 0 && position - start > limit) break;
        n = Read(chunk, kChunkSize - 1);
    }
    return -1;
}

int CUT_ByteSource::SaveToFile(const char *fileName) {
    if (fileName == nullptr || Seek(0, SeekOrigin::Begin) < 0) return 0;
    // Text mode, as the saved files have always been written; it changes
    // nothing where the line end is LF.
    std::FILE *file = std::fopen(fileName, "w");
    if (file == nullptr) return 0;
    char chunk[kChunkSize + 1];
    bool written = true;
    int n;
    while ((n = Read(chunk, kChunkSize - 1)) > 0) {
        if (n > kChunkSize - 1) n = kChunkSize - 1;
        if (std::fwrite(chunk, 1, static_cast<size_t>(n), file) != static_cast<size_t>(n))
            written = false;
    }
    // A backup that did not reach the disk must not count as saved.
    if (std::fclose(file) != 0) written = false;
    return written ? 1 : 0;
}
