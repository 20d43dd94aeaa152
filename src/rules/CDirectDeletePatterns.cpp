// SPDX-License-Identifier: GPL-3.0-or-later
#include "CDirectDeletePatterns.h"

#include <sys/stat.h>

#include <cstring>

#include "RuleFileText.h"
#include "TextHelpers.h"


namespace {

// A message line is at most 1022 bytes; the upper-cased copy has room for
// 1023 and the NUL.
constexpr size_t kLineCopySize = 1024;

bool PieceAt(const char *text, const std::string &piece) {
    for (size_t i = 0; i < piece.size(); ++i)
        if (piece[i] != '?' && piece[i] != text[i]) return false;
    return true;
}

// The same result as WildcardMatch(text, "*" + pattern + "*", '*', '?'):
// with a '*' at both ends, the pieces between the stars match when each is
// found after the one before, and the leftmost place is always the best.
bool PiecesMatch(const char *text, size_t length, const std::vector<std::string> &pieces) {
    if (length == 0) return false;
    size_t at = 0;
    for (const std::string &piece : pieces) {
        const size_t size = piece.size();
        bool found = false;
        while (at + size <= length) {
            if (piece[0] != '?') {
                const void *next = std::memchr(text + at, piece[0], length - size + 1 - at);
                if (next == nullptr) break;
                at = static_cast<size_t>(static_cast<const char *>(next) - text);
            }
            if (PieceAt(text + at, piece)) {
                found = true;
                break;
            }
            ++at;
        }
        if (!found) return false;
        at += size;
    }
    return true;
}

}  // namespace

CDirectDeletePatterns::CDirectDeletePatterns(std::string fileName)
    : m_fileName(std::move(fileName)) {}

void CDirectDeletePatterns::Refresh() {
    struct stat info;
    if (::stat(m_fileName.c_str(), &info) != 0) {
        if (m_present || m_generation == 0 || !m_notices.empty()) ++m_generation;
        m_present = false;
        m_stamp = Stamp{};
        m_patterns.clear();
        m_compiled.clear();
        m_byPair.clear();
        m_unpaired.clear();
        m_notices.clear();
        return;
    }
    Stamp stamp{info.st_dev, info.st_ino, info.st_size,
                static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec,
                static_cast<long long>(info.st_ctim.tv_sec) * 1000000000LL + info.st_ctim.tv_nsec};
    if (m_present && stamp == m_stamp) return;
    ++m_generation;

    m_patterns.clear();
    m_compiled.clear();
    m_byPair.clear();
    m_unpaired.clear();
    // Read whole, whatever the file turned out to be; a refused file is
    // looked at again only when it changed.
    RuleFileText file = RuleFileText::Load(m_fileName);
    m_notices = std::move(file.notices);
    m_present = true;
    m_stamp = stamp;
    for (std::string &line : file.rules) {
        Compiled compiled;
        compiled.pieces.emplace_back();
        for (char c : line) {
            if (c == '*') {
                if (!compiled.pieces.back().empty()) compiled.pieces.emplace_back();
            } else {
                compiled.pieces.back() += AsciiUpper(c);
            }
        }
        if (compiled.pieces.back().empty()) compiled.pieces.pop_back();
        PairSet seen;
        for (const std::string &text : compiled.pieces) {
            for (size_t i = 0; i + 1 < text.size(); ++i) {
                if (text[i] == '?' || text[i + 1] == '?') continue;
                uint16_t hash = PairHash(static_cast<unsigned char>(text[i]),
                                         static_cast<unsigned char>(text[i + 1]));
                if (!seen.test(hash)) compiled.pairs.push_back(hash);
                seen.set(hash);
            }
        }
        m_compiled.push_back(std::move(compiled));
        m_patterns.push_back(std::move(line));
    }
    IndexPatterns();
}

void CDirectDeletePatterns::IndexPatterns() {
    m_byPair.assign(kPairBits, {});
    m_unpaired.clear();
    std::vector<uint32_t> sharing(kPairBits, 0);
    for (const Compiled &compiled : m_compiled)
        for (uint16_t pair : compiled.pairs) ++sharing[pair];
    for (uint32_t i = 0; i < m_compiled.size(); ++i) {
        const std::vector<uint16_t> &pairs = m_compiled[i].pairs;
        if (pairs.empty()) {
            m_unpaired.push_back(i);
            continue;
        }
        uint16_t key = pairs.front();
        for (uint16_t pair : pairs)
            if (sharing[pair] < sharing[key]) key = pair;
        m_byPair[key].push_back(i);
    }
}

const std::vector<std::string> &CDirectDeletePatterns::Patterns() {
    Refresh();
    return m_patterns;
}

bool CDirectDeletePatterns::Find(const char *line, std::string *pattern) {
    Refresh();
    return Match(line, pattern);
}

bool CDirectDeletePatterns::Match(const char *line, std::string *pattern) const {
    if (line == nullptr || m_patterns.empty()) return false;

    char upper[kLineCopySize];
    size_t length = strnlen(line, kLineCopySize - 1);
    for (size_t i = 0; i < length; ++i) upper[i] = AsciiUpper(line[i]);
    upper[length] = '\0';

    PairSet present;
    uint16_t held[kLineCopySize];
    size_t heldCount = 0;
    for (size_t i = 0; i + 1 < length; ++i) {
        const uint16_t hash = PairHash(static_cast<unsigned char>(upper[i]),
                                       static_cast<unsigned char>(upper[i + 1]));
        if (!present.test(hash)) {
            present.set(hash);
            held[heldCount++] = hash;
        }
    }

    // Every possible pattern is tried: the last match in the file is
    // reported.
    long last = -1;
    auto attempt = [&](uint32_t index) {
        if (static_cast<long>(index) <= last) return;
        const Compiled &compiled = m_compiled[index];
        for (uint16_t pair : compiled.pairs)
            if (!present.test(pair)) return;
        if (PiecesMatch(upper, length, compiled.pieces)) last = index;
    };
    for (uint32_t index : m_unpaired) attempt(index);
    for (size_t i = 0; i < heldCount; ++i)
        for (uint32_t index : m_byPair[held[i]]) attempt(index);
    if (last < 0) return false;
    if (pattern != nullptr) *pattern = m_patterns[static_cast<size_t>(last)];
    return true;
}

bool FindDirectDeletePattern(const char *line, std::string *pattern) {
    static CDirectDeletePatterns patterns;
    return patterns.Find(line, pattern);
}
