// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a rule file (the pattern file, the allow-list) so that no file
// can turn against the user. Only a regular file is read, and only up to
// kMaxBytes: a FIFO, a device or a link to one is never opened for a
// read that could hang or never end. A line is one rule however long it
// is; a leading byte-order mark is skipped; a line holding a NUL byte is
// no rule (the part before the NUL would be a rule nobody wrote). Each
// refusal comes with a notice that says which file and line, and why.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct RuleFileText {
    // Far above any rule file a person writes (some 100,000 lines).
    static constexpr size_t kMaxBytes = 4u << 20;

    enum Status {
        Missing,   // no such file: no rules, nothing to say
        Read,      // read whole (single lines may still be refused)
        Refused,   // there, but not used at all: see notices
    };
    Status status = Missing;
    // Every line of the file, as written, without its line end: what the
    // rule editor shows and writes back.
    std::vector<std::string> lines;
    // The rules: the lines that are neither empty, nor begin with a blank,
    // nor were refused.
    std::vector<std::string> rules;
    // One sentence for each file or line not used, naming both.
    std::vector<std::string> notices;
    // Whether a line of the file was refused (the rest is used).
    bool lineRefused = false;

    static RuleFileText Load(const std::string &path);
};
