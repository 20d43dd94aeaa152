// SPDX-License-Identifier: GPL-3.0-or-later
// The user's direct-delete patterns from "loesche_direkt.txt" in the
// working directory. Every line tested sees the file as it is at that
// moment; the parsed patterns are kept and the file is read again only
// when it has changed. A file line is one pattern, however long; a file
// that is no regular file, or too large, gives no pattern at all, and
// Notices says why (see RuleFileText).
#pragma once

#include <bitset>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

class CDirectDeletePatterns {
public:
    static constexpr const char *kFileName = "loesche_direkt.txt";

    explicit CDirectDeletePatterns(std::string fileName = kFileName);

    // True when a pattern matches anywhere in the line (ASCII letters
    // without regard to case); *pattern then holds the last matching
    // pattern line of the file. Looks at the file first.
    bool Find(const char *line, std::string *pattern);
    // Reads the file again when it has changed since the last look.
    void Refresh();
    // Find against the patterns as last read: the scan looks at the file
    // once per message, not once per line.
    bool Match(const char *line, std::string *pattern) const;

    // The patterns as read at the last check (for tests and diagnostics).
    const std::vector<std::string> &Patterns();
    // Why the file, or a line of it, was not used at the last read.
    const std::vector<std::string> &Notices() const { return m_notices; }
    // Changes whenever the patterns may have changed (a new read of the
    // file, or the file gone): who derives something from them knows when
    // to derive it again.
    unsigned Generation() const { return m_generation; }

private:
    struct Stamp {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = -1;
        long long modified = -1;
        long long changed = -1;
        bool operator==(const Stamp &) const = default;
    };
    std::string m_fileName;
    unsigned m_generation = 0;
    bool m_present = false;
    Stamp m_stamp;
    // Pairs of adjacent characters, hashed into a small set: a quick test
    // that rules out most patterns for a line before any search.
    static constexpr size_t kPairBits = 4096;
    using PairSet = std::bitset<kPairBits>;
    static uint16_t PairHash(unsigned char a, unsigned char b) {
        return static_cast<uint16_t>((a * 131u + b) % kPairBits);
    }

    struct Compiled {
        // Upper-cased and cut at its '*': since a pattern may match anywhere
        // in a line, the pieces only have to be found in order.
        std::vector<std::string> pieces;
        // Pairs that every matching line must hold (from runs without '?').
        std::vector<uint16_t> pairs;
    };

    // Builds the index below once the patterns are compiled.
    void IndexPatterns();

    std::vector<std::string> m_patterns;  // as in the file
    std::vector<std::string> m_notices;
    std::vector<Compiled> m_compiled;
    // Each pattern under the one of its pairs that fewest patterns share:
    // a line is tried only against the patterns filed under a pair it
    // holds, and those without any pair.
    std::vector<std::vector<uint32_t>> m_byPair;
    std::vector<uint32_t> m_unpaired;
};

// The scan's test of one message line against the pattern file.
bool FindDirectDeletePattern(const char *line, std::string *pattern);
