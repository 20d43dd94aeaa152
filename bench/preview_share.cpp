// SPDX-License-Identifier: GPL-3.0-or-later
// How many rows of a scan show the beginning of their message's own text:
// a private Dovecot with a folder of messages (bench/everyday_mail.py makes
// one), one `pelloru --list`, and for each row the first words of its
// preview compared with those of the message's first text part as Python's
// email library decodes it from the whole message.
//
// preview_share PELLORU FOLDER
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "CSettingsStore.h"
#include "DovecotServer.h"
#include "TestFiles.h"

namespace {

std::string Run(const std::string &command) {
    std::string output;
    FILE *pipe = ::popen(command.c_str(), "r");
    char buffer[4096];
    size_t n;
    while (pipe != nullptr && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    if (pipe != nullptr) ::pclose(pipe);
    return output;
}

std::vector<std::string> Words(const std::string &text, size_t most) {
    // Escaped line breaks and no-break spaces separate words too.
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && std::string("nrt").find(text[i + 1]) != std::string::npos) {
            plain += ' ';
            ++i;
        } else if (text.compare(i, 2, "\xC2\xA0") == 0) {
            plain += ' ';
            ++i;
        } else {
            plain += text[i];
        }
    }
    std::istringstream in(plain);
    std::vector<std::string> words;
    std::string word;
    while (words.size() < most && in >> word) words.push_back(word);
    return words;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: preview_share PELLORU FOLDER\n");
        return 64;
    }
    const std::string pelloru = std::filesystem::absolute(argv[1]).string();
    std::vector<std::string> files;
    for (const auto &entry : std::filesystem::directory_iterator(argv[2])) files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());

    DovecotServer server;
    std::string error;
    if (!server.Start(&error)) {
        std::fprintf(stderr, "cannot start dovecot: %s\n", error.c_str());
        return 1;
    }
    for (const std::string &file : files) server.AddMessage(ReadBinaryFile(file));
    char pattern[] = "/tmp/pelloru-share-XXXXXX";
    const std::string work = ::mkdtemp(pattern);
    ::setenv("XDG_CONFIG_HOME", (work + "/config").c_str(), 1);
    CSettingsStore settings("pelloru");
    settings.Write("HOST", "127.0.0.1:" + std::to_string(server.Port()));
    settings.Write("USER", DovecotServer::kUser);
    settings.Write("PASS", CSettingsStore::ComplementPassword(DovecotServer::kPassword));

    const std::string listing = Run("cd " + work + " && " + pelloru + " --list");
    std::vector<std::string> previews;
    std::istringstream rows(listing);
    for (std::string row; std::getline(rows, row);) {
        std::vector<std::string> cells;
        std::istringstream fields(row);
        for (std::string cell; std::getline(fields, cell, '\t');) cells.push_back(cell);
        previews.push_back(cells.size() > 4 ? cells[4] : std::string());
    }
    // The reference from the whole message, and from the lines a TOP brings:
    // where the second has no text, the text part begins beyond them.
    std::vector<std::string> cut;
    for (size_t i = 0; i < files.size(); ++i) {
        cut.push_back(work + "/" + std::to_string(i) + ".top");
        std::ofstream(cut.back(), std::ios::binary) << TopLines(ReadBinaryFile(files[i]));
    }
    const std::vector<std::string> whole = FirstTextReferences(files);
    const std::vector<std::string> fetched = FirstTextReferences(cut);

    int withText = 0, reachable = 0, matching = 0, shown = 0;
    for (size_t i = 0; i < files.size() && i < previews.size(); ++i) {
        const std::vector<std::string> expected = Words(whole[i], 5);
        if (expected.empty()) continue;
        ++withText;
        if (Words(fetched[i], 1).empty()) continue;
        ++reachable;
        if (Words(previews[i], expected.size()) == expected) {
            ++matching;
        } else if (shown++ < 5) {
            std::printf("  differs: %s\n    preview: %.80s\n", files[i].c_str(), previews[i].c_str());
        }
    }
    std::printf("%zu messages, %zu rows, %d with a text part, %d of them beginning within the 25 "
                "fetched lines;\npreview starts with the text part's words: %d of %d (%.1f%%), "
                "of all rows with a text part %.1f%%\n",
                files.size(), previews.size(), withText, reachable, matching, reachable,
                reachable > 0 ? 100.0 * matching / reachable : 0.0,
                withText > 0 ? 100.0 * matching / withText : 0.0);
    std::filesystem::remove_all(work);
    return 0;
}
