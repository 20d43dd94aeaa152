// SPDX-License-Identifier: GPL-3.0-or-later
// The user's allow-list "nie_loeschen.txt" beside the pattern file: lines
// in the pattern file's format (a line beginning with a blank is skipped,
// `*` any run of characters, `?` one), each matched against the whole of
// a sender's address, without regard to case: "anna@example.de", or
// "*@example.de" for a domain. A message from an address on it is never
// removed by a pattern.
//
// The senders are the addresses of From, Sender and Reply-To, as written
// between < and > (a display name, however much it looks like an address,
// counts for nothing), or the bare address where there are no brackets.
#pragma once

#include <string>
#include <vector>

class CAllowList {
public:
    static constexpr const char *kFileName = "nie_loeschen.txt";

    explicit CAllowList(std::string fileName = kFileName) : m_fileName(std::move(fileName)) {}
    // The file beside a pattern file (its folder, or the working folder).
    static std::string BesidePatterns(const std::string &patternFile);

    // The first line that allows one of the addresses; empty when none
    // does. Reads the file anew when it changed.
    std::string Allows(const std::vector<std::string> &addresses);
    // False when the file is there but was refused whole, or a line of
    // it was: then no match may be acted on, since the line left out may
    // be the one that keeps a sender's mail. Reads the file anew when it
    // changed.
    bool Usable();
    // The lines in use, as written (reads the file anew when it changed).
    const std::vector<std::string> &Lines() {
        Refresh();
        return m_lines;
    }
    // Why the file, or a line of it, was not used at the last read.
    const std::vector<std::string> &Notices() const { return m_notices; }
    // The addresses of one header value: each <...> outside quotes and
    // comments, or else each word with an '@' in it.
    static std::vector<std::string> Addresses(const std::string &value);

private:
    void Refresh();
    std::string m_fileName;
    long long m_stamp = -1;
    std::vector<std::string> m_lines;     // as written
    std::vector<std::string> m_patterns;  // lower-cased
    std::vector<std::string> m_notices;
    bool m_usable = true;
};
