// SPDX-License-Identifier: GPL-3.0-or-later
#include "CAllowList.h"

#include <sys/stat.h>

#include "RuleFileText.h"
#include "WildcardMatch.h"

namespace {

std::string Lower(std::string text) {
    for (char &c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return text;
}

std::string Trimmed(const std::string &text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

std::string CAllowList::BesidePatterns(const std::string &patternFile) {
    const size_t slash = patternFile.rfind('/');
    return slash == std::string::npos ? std::string(kFileName) : patternFile.substr(0, slash + 1) + kFileName;
}

void CAllowList::Refresh() {
    struct stat info;
    const long long stamp = ::stat(m_fileName.c_str(), &info) != 0
                                ? -1
                                : static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec +
                                      info.st_size * 7 + static_cast<long long>(info.st_ino);
    if (stamp == m_stamp) return;
    m_stamp = stamp;
    m_lines.clear();
    m_patterns.clear();
    RuleFileText file = RuleFileText::Load(m_fileName);
    m_notices = std::move(file.notices);
    // A line left out could be the one that keeps a sender's mail.
    m_usable = file.status != RuleFileText::Refused && !file.lineRefused;
    for (std::string &line : file.rules) {
        m_patterns.push_back(Lower(line));
        m_lines.push_back(std::move(line));
    }
}

bool CAllowList::Usable() {
    Refresh();
    return m_usable;
}

std::string CAllowList::Allows(const std::vector<std::string> &addresses) {
    Refresh();
    for (size_t i = 0; i < m_patterns.size(); ++i)
        for (const std::string &address : addresses)
            if (!address.empty() && WildcardMatch(Lower(address).c_str(), m_patterns[i].c_str(), '*', '?') != 0)
                return m_lines[i];
    return {};
}

std::vector<std::string> CAllowList::Addresses(const std::string &value) {
    std::vector<std::string> bracketed, words;
    std::string word, inside;
    bool quoted = false, escaped = false, inBrackets = false;
    int comment = 0;
    auto endWord = [&] {
        if (word.find('@') != std::string::npos) words.push_back(word);
        word.clear();
    };
    for (char c : value) {
        if (escaped) {
            escaped = false;
            continue;
        }
        if ((quoted || comment > 0) && c == '\\') {
            escaped = true;
            continue;
        }
        if (quoted) {
            if (c == '"') quoted = false;
            continue;
        }
        if (comment > 0) {
            comment += c == '(' ? 1 : c == ')' ? -1 : 0;
            continue;
        }
        if (inBrackets) {
            if (c == '>') {
                inBrackets = false;
                bracketed.push_back(Trimmed(inside));
                inside.clear();
            } else {
                inside += c;
            }
            continue;
        }
        switch (c) {
        case '"': endWord(), quoted = true; break;
        case '(': endWord(), comment = 1; break;
        case '<': endWord(), inBrackets = true; break;
        case ',': case ' ': case '\t': case ';': endWord(); break;
        default: word += c;
        }
    }
    endWord();
    return bracketed.empty() ? words : bracketed;
}
