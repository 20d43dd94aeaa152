// SPDX-License-Identifier: GPL-3.0-or-later
#include "BackupFiles.h"

#include <ctime>

namespace {

// Room for the stamp, the identifier, a "_NNNN" and ".txt" within the 255
// bytes a file name may have.
constexpr size_t kMaxIdentifier = 200;

bool Refused(unsigned char c) {
#ifdef _WIN32
    if (c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '|') return true;
#endif
    return c == '/' || c < 32 || c == 127;
}

}  // namespace

std::string MakeBackupFileName(const std::string &messageId) {
    char stamp[256] = {};
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) != nullptr)
        std::strftime(stamp, sizeof stamp, "msg_%Y_%m_%d_%H_%M_%S_", &local);
    // The blanks around the value (a header's value begins with one) are
    // no part of the name.
    const size_t first = messageId.find_first_not_of(" \t");
    const size_t last = messageId.find_last_not_of(" \t");
    const std::string trimmed = first == std::string::npos ? std::string() : messageId.substr(first, last - first + 1);
    std::string id;
    for (unsigned char c : trimmed) {
        if (c == '<' || c == '>') continue;
        id += Refused(c) ? '_' : static_cast<char>(c);
        if (id.size() >= kMaxIdentifier) break;
    }
    return stamp + id + ".txt";
}
