#include "BackupFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "CUT_ByteSource.h"

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

// Claims the name: true when the file did not exist and now does (empty).
bool Claim(const std::string &name) {
    int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    ::close(fd);
    return true;
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

std::string WriteBackupFile(CUT_ByteSource &source, const std::string &name) {
    std::string candidate = name;
    const std::string stem = name.size() >= 4 && name.compare(name.size() - 4, 4, ".txt") == 0
                                 ? name.substr(0, name.size() - 4)
                                 : name;
    for (int number = 2; !Claim(candidate); ++number) {
        if (errno != EEXIST || number > 10000) return {};
        candidate = stem + "_" + std::to_string(number) + ".txt";
    }
    if (source.SaveToFile(candidate.c_str()) != 1) {
        ::unlink(candidate.c_str());
        return {};
    }
    return candidate;
}
