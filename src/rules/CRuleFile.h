// SPDX-License-Identifier: GPL-3.0-or-later
// A line added to the pattern file or the allow-list from a row: the line
// proposed for a sender or a subject, the check that a line does not match
// every message, and the write, which replaces the file whole or leaves it
// as it was (a temporary file beside it, flushed to disk, renamed over it),
// so that a full disk or a crash never leaves a rule file cut short.
#pragma once

#include <string>
#include <vector>

class CRuleFile {
public:
    // "From:*anna@example.de": a pattern for the sender's address.
    static std::string SenderPattern(const std::string &address);
    // "Subject:*Gewinnspiel für Sie": a pattern for the subject as shown
    // (its wildcards made into '?', which stands for themselves too).
    static std::string SubjectPattern(const std::string &subject);
    // A pattern for the subject of this message (its header as sent) that
    // matches the message: built from the raw Subject line, so that an
    // encoded or folded subject is matched as the patterns see it. Empty
    // when the message has no subject text.
    static std::string SubjectPatternFor(const std::string &message);
    static constexpr size_t kProposedLength = 200;
    // "anna@example.de": an allow-list line for the sender's address.
    static std::string AllowLine(const std::string &address);

    // A line that the matcher would take as matching every message: empty,
    // only blanks (skipped, but surely not meant), or only '*' and '?'.
    static bool MatchesEverything(const std::string &line);

    // Adds the line at the end of the file (made, mode 0600, when there is
    // none; else its mode is kept). False with the reason when the file
    // could not be written; it is then as it was.
    static bool Append(const std::string &path, const std::string &line, std::string *problem);
    // The file made of these lines, the same way.
    static bool Replace(const std::string &path, const std::vector<std::string> &lines, std::string *problem);

    // Of these message texts (header and first lines), how many a pattern
    // line matches (anywhere in a line, ASCII letters without regard to
    // case), or, for an allow-list line, how many come from an address it
    // allows (From, Sender, Reply-To).
    static int CountMatches(const std::string &line, bool allowList, const std::vector<std::string> &texts);
};
