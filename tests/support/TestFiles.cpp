// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestFiles.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

std::string ReadBinaryFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string ToCrLf(const std::string &text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::string TopLines(const std::string &message) {
    const std::string text = ToCrLf(message);
    size_t end = text.find("\r\n\r\n");
    if (end == std::string::npos) return text;
    end += 4;
    for (int line = 0; line < 25 && end < text.size(); ++line) {
        const size_t next = text.find("\r\n", end);
        end = next == std::string::npos ? text.size() : next + 2;
    }
    return text.substr(0, end);
}

std::vector<std::string> FirstTextReferences(const std::vector<std::string> &paths) {
    std::string command = "python3 " PELLORU_SUPPORT_DIR "/first_text.py";
    for (const std::string &path : paths) command += " '" + path + "'";
    std::string output;
    FILE *pipe = ::popen(command.c_str(), "r");
    char buffer[4096];
    size_t n;
    while (pipe != nullptr && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    if (pipe != nullptr) ::pclose(pipe);
    std::vector<std::string> texts;
    for (size_t at = 0, end; (end = output.find('\0', at)) != std::string::npos; at = end + 1)
        texts.push_back(output.substr(at, end - at));
    texts.resize(paths.size());
    return texts;
}

std::vector<std::string> SampleMessages() {
    std::vector<std::string> paths;
    std::error_code ec;
    for (auto &entry : fs::directory_iterator(PELLORU_TEST_DATA_DIR, ec))
        if (entry.is_regular_file() && entry.path().extension() == ".eml")
            paths.push_back(entry.path().string());
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::string CorpusDirectory() {
    std::string dir = std::string(PELLORU_SHARED_DIR) + "/corpus";
    return fs::exists(dir + "/MANIFEST.tsv") ? dir : std::string();
}

std::vector<std::string> CorpusMessages() {
    std::vector<std::string> paths;
    std::string dir = CorpusDirectory();
    if (dir.empty()) return paths;
    std::ifstream manifest(dir + "/MANIFEST.tsv");
    std::string line;
    std::getline(manifest, line);  // column names
    while (std::getline(manifest, line)) {
        std::string local = line.substr(0, line.find('\t'));
        if (!local.empty() && fs::exists(dir + "/" + local)) paths.push_back(dir + "/" + local);
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}
