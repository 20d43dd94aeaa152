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
    std::string id;
    for (unsigned char c : messageId) {
        if (c == '<' || c == '>') continue;
        id += Refused(c) ? '_' : static_cast<char>(c);
        if (id.size() >= kMaxIdentifier) break;
    }
    return stamp + id + ".txt";
}
