// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>

#include "CAllowList.h"
#include "CDirectDeletePatterns.h"
#include "CRuleFile.h"
#include "RuleFileText.h"
#include "ScanTestSupport.h"
#include "WildcardMatch.h"

namespace {

// The recursive matcher as the rules describe it, for comparison on small
// inputs only (it is exponential on long ones).
int ReferenceMatch(const char *text, const char *pattern, char many, char one) {
    if (*text == '\0' || *pattern == '\0') return 0;
    const char *t = text;
    const char *p = pattern;
    for (;;) {
        if (*p == one) {
            if (*t == '\0') return 0;
            ++t, ++p;
        } else if (*p == many) {
            if (p[1] == '\0') return 1;
            ++p;
            if (*t == '\0') continue;
            for (const char *rest = t; *rest != '\0'; ++rest)
                if (ReferenceMatch(rest, p, many, one)) return 1;
            return 0;
        } else {
            if (*t == '\0' || *t != *p) return 0;
            ++t, ++p;
        }
        if (*t == '\0' && *p == '\0') return 1;
        if (*t != '\0' && *p == '\0') return 0;
    }
}

void WriteFile(const std::string &path, const std::string &text) {
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

TEST(WildcardMatch, FollowsTheRules) {
    EXPECT_EQ(WildcardMatch("", "*", '*', '?'), 0);
    EXPECT_EQ(WildcardMatch("", "", '*', '?'), 0);
    EXPECT_EQ(WildcardMatch("A", "", '*', '?'), 0);
    EXPECT_EQ(WildcardMatch("A", "A*", '*', '?'), 1);
    EXPECT_EQ(WildcardMatch("A", "A?", '*', '?'), 0);
    EXPECT_EQ(WildcardMatch("XA", "*A", '*', '?'), 1);
    EXPECT_EQ(WildcardMatch("A", "A*B", '*', '?'), 0);
    EXPECT_EQ(WildcardMatch("AXB", "A*B*", '*', '?'), 1);
    EXPECT_EQ(WildcardMatch("ABAB", "*AB", '*', '?'), 1);
    EXPECT_EQ(WildcardMatch("ab", "AB", '*', '?'), 0);  // bytes exactly
    EXPECT_EQ(WildcardMatch("A*C", "A#C", '#', '!'), 1);
}

TEST(WildcardMatch, AgreesWithTheRecursiveRulesOnRandomInputs) {
    std::mt19937 random(7);
    const char alphabet[] = "AB*?";
    for (int round = 0; round < 200000; ++round) {
        std::string text, pattern;
        for (size_t i = random() % 9; i > 0; --i) text += "ABC"[random() % 3];
        for (size_t i = random() % 8; i > 0; --i) pattern += alphabet[random() % 4];
        ASSERT_EQ(WildcardMatch(text.c_str(), pattern.c_str(), '*', '?'),
                  ReferenceMatch(text.c_str(), pattern.c_str(), '*', '?'))
            << "text '" << text << "' pattern '" << pattern << "'";
    }
}

TEST(WildcardMatch, StaysFastOnHostileInput) {
    // Many stars against a long line that almost matches: exponential for a
    // plain recursive matcher.
    std::string text(1022, 'A');
    std::string pattern = "*A*A*A*A*A*A*A*A*A*A*A*A*B*";
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WildcardMatch(text.c_str(), pattern.c_str(), '*', '?'), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(DirectDeletePatterns, MatchAnywhereIgnoringAsciiCase) {
    ScanEnvironment env;
    env.Patterns("offer\n\xD6L\nSubject:*free\r\n");
    CDirectDeletePatterns patterns("loesche_direkt.txt");
    std::string found;
    EXPECT_TRUE(patterns.Find("Subject: Special OFFER today\r\n", &found));
    EXPECT_EQ(found, "offer");
    EXPECT_FALSE(patterns.Find("Heizoel: \xF6l im Angebot\r\n", &found));
    EXPECT_TRUE(patterns.Find("Betreff: \xD6L billig\r\n", &found));
    EXPECT_EQ(found, "\xD6L");
    EXPECT_TRUE(patterns.Find("SUBJECT: get it FrEe\r\n", &found));
    EXPECT_EQ(found, "Subject:*free");
    EXPECT_FALSE(patterns.Find("free Subject: later\r\n", &found));
    EXPECT_FALSE(patterns.Find("", &found));
    EXPECT_FALSE(patterns.Find(nullptr, &found));
}

// Whatever stands in a rule file's place, and however long its lines, no
// rule comes of it that was not written as one line: the pattern file and
// the allow-list alike. A file refused whole says so; an allow-list with
// anything refused is not usable (no match may then be acted on).
TEST(RuleFiles, ALineIsOneRuleAndOnlyARegularFileIsRead) {
    const std::string longLine = "Subject:*" + std::string(500, 'Q') + "e";
    const auto text = [](std::string bytes) {
        return [bytes](const std::string &path) { std::ofstream(path, std::ios::binary) << bytes; };
    };
    const auto link = [](const char *target) {
        return [target](const std::string &path) { std::filesystem::create_symlink(target, path); };
    };
    struct Case {
        const char *what;
        std::function<void(const std::string &)> make;
        std::vector<std::string> rules;
        size_t notices;
    };
    const Case cases[] = {
        {"lines cut at CR, blank-led and empty ones skipped, a long one whole",
         text(" blank first: skipped\n\ttabbed\n\n" + longLine + "\nab\rcd\n"), {"\ttabbed", longLine, "ab"}, 0},
        {"a byte-order mark before the first line", text("\xEF\xBB\xBFspam\nham\n"), {"spam", "ham"}, 0},
        {"a line holding NUL", text(std::string("sp\0am\nham\n", 10)), {"ham"}, 1},
        {"a FIFO", [](const std::string &path) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); }, {}, 1},
        {"a link to /dev/zero", link("/dev/zero"), {}, 1},
        {"a link to /dev/urandom", link("/dev/urandom"), {}, 1},
        {"a folder", [](const std::string &path) { std::filesystem::create_directory(path); }, {}, 1},
        {"larger than the limit", text(std::string(RuleFileText::kMaxBytes + 1, '\n')), {}, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ScanEnvironment env;
        c.make(env.Dir() + "/loesche_direkt.txt");
        c.make(env.Dir() + "/nie_loeschen.txt");
        CDirectDeletePatterns patterns("loesche_direkt.txt");
        EXPECT_EQ(patterns.Patterns(), c.rules);
        EXPECT_EQ(patterns.Notices().size(), c.notices);
        CAllowList allow("nie_loeschen.txt");
        EXPECT_EQ(allow.Usable(), c.notices == 0);
        EXPECT_EQ(allow.Notices().size(), c.notices);
        std::string found;
        // The tail of a long line is no pattern of its own.
        EXPECT_FALSE(patterns.Find("Subject: Hello there\r\n", &found)) << found;
    }
    ScanEnvironment env;
    env.Patterns(longLine + "\n");
    CDirectDeletePatterns patterns("loesche_direkt.txt");
    std::string found;
    EXPECT_TRUE(patterns.Find(("Subject: " + std::string(500, 'q') + "E\r\n").c_str(), &found));
    EXPECT_EQ(found, longLine);
}

TEST(DirectDeletePatterns, TheLastMatchingPatternIsReported) {
    ScanEnvironment env;
    env.Patterns("viagra\n?\nspam\nzzz\n");
    CDirectDeletePatterns patterns("loesche_direkt.txt");
    std::string found;
    EXPECT_TRUE(patterns.Find("this is spam\r\n", &found));
    EXPECT_EQ(found, "spam");
    // One question mark matches every line, the empty one with its CR LF too.
    EXPECT_TRUE(patterns.Find("\r\n", &found));
    EXPECT_EQ(found, "?");
}

TEST(DirectDeletePatterns, EachTestSeesTheFileAsItIsNow) {
    ScanEnvironment env;
    CDirectDeletePatterns patterns("loesche_direkt.txt");
    std::string found;
    EXPECT_FALSE(patterns.Find("hello\r\n", &found));  // no file yet
    env.Patterns("hello\n");
    EXPECT_TRUE(patterns.Find("hello\r\n", &found));
    // Same size, rewritten at once: still noticed.
    env.Patterns("world\n");
    EXPECT_FALSE(patterns.Find("hello\r\n", &found));
    EXPECT_TRUE(patterns.Find("world\r\n", &found));
    // Replaced by another file through a rename.
    WriteFile(env.Dir() + "/other.txt", "again\n");
    std::filesystem::rename(env.Dir() + "/other.txt", env.Dir() + "/loesche_direkt.txt");
    EXPECT_TRUE(patterns.Find("again\r\n", &found));
    std::filesystem::remove(env.Dir() + "/loesche_direkt.txt");
    EXPECT_FALSE(patterns.Find("again\r\n", &found));
}

TEST(DirectDeletePatterns, TheScanFunctionUsesTheWorkingDirectory) {
    std::string found;
    {
        ScanEnvironment env;
        env.Patterns("Gewinnspiel\n");
        EXPECT_TRUE(FindDirectDeletePattern("Subject: Ihr GEWINNSPIEL\r\n", &found));
        EXPECT_EQ(found, "Gewinnspiel");
    }
    ScanEnvironment other;  // another folder without a pattern file
    EXPECT_FALSE(FindDirectDeletePattern("Subject: Ihr GEWINNSPIEL\r\n", &found));
}

TEST(DirectDeletePatterns, PieceSearchAgreesWithTheMatcher) {
    ScanEnvironment env;
    std::mt19937 random(11);
    for (int round = 0; round < 300; ++round) {
        std::string pattern;
        for (size_t i = 1 + random() % 6; i > 0; --i) pattern += "ab*?"[random() % 4];
        env.Patterns(pattern + "\n");
        CDirectDeletePatterns patterns("loesche_direkt.txt");
        for (int k = 0; k < 50; ++k) {
            std::string line;
            for (size_t i = random() % 10; i > 0; --i) line += "abAB"[random() % 4];
            std::string upper = line, wrapped = "*" + pattern + "*";
            for (char &c : upper) c = static_cast<char>(std::toupper(c));
            for (char &c : wrapped) c = static_cast<char>(std::toupper(c));
            std::string found;
            ASSERT_EQ(patterns.Find(line.c_str(), &found),
                      WildcardMatch(upper.c_str(), wrapped.c_str(), '*', '?') == 1)
                << "pattern '" << pattern << "' line '" << line << "'";
        }
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
}

// A rule added from a row goes in whole or not at all: the file is
// replaced by a complete new one, and one that cannot be written (here a
// file size limit stands in for a full disk) stays as it was.
TEST(RuleFile, AddsALineWholeOrNotAtAll) {
    ScanEnvironment env;
    const std::string path = env.Dir() + "/loesche_direkt.txt";
    std::string problem;
    ASSERT_TRUE(CRuleFile::Append(path, CRuleFile::SenderPattern(" spam@evil.example "), &problem)) << problem;
    EXPECT_EQ(ReadBinaryFile(path), "From:*spam@evil.example\n");
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    std::ofstream(path, std::ios::binary | std::ios::trunc) << "Subject:*Gewinn";  // no final line end
    ::chmod(path.c_str(), 0640);
    ASSERT_TRUE(CRuleFile::Append(path, CRuleFile::SubjectPattern("50% * Rabatt"), &problem)) << problem;
    EXPECT_EQ(ReadBinaryFile(path), "Subject:*Gewinn\nSubject:*50% ? Rabatt\n");
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);

    const std::string before = std::string(8000, 'x') + "\n";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << before;
    rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 4096;
    auto *oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &small);
    const bool added = CRuleFile::Append(path, "From:*x", &problem);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(added);
    EXPECT_NE(problem.find("unverändert"), std::string::npos) << problem;
    EXPECT_EQ(ReadBinaryFile(path), before);
    size_t files = 0;
    for (const auto &entry : std::filesystem::directory_iterator(env.Dir())) files += entry.is_regular_file();
    EXPECT_EQ(files, 1u) << "no temporary file is left";

    for (const char *everything : {"", " ", "*", "**", "?", "*?*"}) EXPECT_TRUE(CRuleFile::MatchesEverything(everything));
    for (const char *some : {"From:*", "a*", "*@example.de"}) EXPECT_FALSE(CRuleFile::MatchesEverything(some));
}

// A subject line proposed from a message matches that message, however its
// subject was sent (encoded words, folded, long): over every message of the
// shared corpus and a few of our own.
TEST(RuleFile, ASubjectLineFromAMessageMatchesIt) {
    std::vector<std::string> messages = {
        "Subject: =?utf-8?B?QmFjayBhdCBhZnRlciBHcsO8w59lIGNyw6htZSDXqdec15XXnQ==?=\r\nFrom: a@b\r\n\r\nx\r\n",
        "Subject: erster Teil\r\n zweiter Teil\r\n\r\nx\r\n",
        "Subject:\r\n =?iso-8859-1?Q?Gr=FC=DFe?=\r\n\r\nx\r\n",
        "subject: " + std::string(3000, 'k') + "\n\nx\n",
    };
    for (const std::string &path : CorpusMessages()) messages.push_back(ReadBinaryFile(path));
    ScanEnvironment env;
    size_t proposed = 0;
    for (const std::string &message : messages) {
        const std::string line = CRuleFile::SubjectPatternFor(message);
        if (line.empty()) continue;
        ++proposed;
        SCOPED_TRACE(line);
        EXPECT_FALSE(CRuleFile::MatchesEverything(line));
        std::ofstream(env.Dir() + "/p.txt", std::ios::binary | std::ios::trunc) << line << "\n";
        CDirectDeletePatterns patterns(env.Dir() + "/p.txt");
        bool matched = false;
        for (size_t at = 0; at < message.size() && !matched;) {
            const size_t end = std::min(message.find('\n', at), message.size());
            matched = patterns.Find(message.substr(at, end + 1 - at).c_str(), nullptr);
            at = end + 1;
        }
        EXPECT_TRUE(matched);
    }
    EXPECT_GE(proposed, 4u);
}
