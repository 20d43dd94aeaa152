// SPDX-License-Identifier: GPL-3.0-or-later
#include "RuleFileText.h"
#include "Translate.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

const char *KindOf(mode_t mode) {
    if (S_ISDIR(mode)) return Tr("rules", "sie ist ein Ordner, keine gewöhnliche Datei");
    if (S_ISFIFO(mode)) return Tr("rules", "sie ist eine benannte Pipe (FIFO), keine gewöhnliche Datei");
    if (S_ISCHR(mode) || S_ISBLK(mode)) return Tr("rules", "sie ist ein Gerät, keine gewöhnliche Datei");
    if (S_ISSOCK(mode)) return Tr("rules", "sie ist ein Socket, keine gewöhnliche Datei");
    return Tr("rules", "sie ist keine gewöhnliche Datei");
}

}  // namespace

RuleFileText RuleFileText::Load(const std::string &path) {
    RuleFileText file;
    auto refuse = [&](const std::string &why) {
        file.status = Refused;
        file.notices.push_back(Fill(Tr("rules", "Die Regeldatei %1 wird nicht verwendet: %2"), {path, why}));
        return file;
    };
    // Not blocking on the open: a FIFO without a writer would wait forever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return file;
        return refuse(std::strerror(errno));
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = errno;
        ::close(fd);
        if (S_ISREG(info.st_mode)) return refuse(std::strerror(error));
        return refuse(KindOf(info.st_mode));
    }
    const std::string tooLarge = Fill(Tr("rules", "sie ist größer als %1 MiB"), {std::to_string(kMaxBytes >> 20)});
    if (info.st_size > static_cast<off_t>(kMaxBytes)) {
        ::close(fd);
        return refuse(tooLarge);
    }
    // One byte more than allowed tells a file that grew meanwhile.
    std::string bytes(std::min(static_cast<size_t>(info.st_size) + 4096, kMaxBytes + 1), '\0');
    size_t got = 0;
    bool failed = false;
    for (;;) {
        if (got == bytes.size()) {
            if (bytes.size() > kMaxBytes) break;
            bytes.resize(std::min(bytes.size() * 2, kMaxBytes + 1));
        }
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) failed = true;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    const int error = errno;
    ::close(fd);
    if (failed) return refuse(std::strerror(error));
    if (got > kMaxBytes) return refuse(tooLarge);
    bytes.resize(got);

    file.status = Read;
    size_t at = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    int number = 0;
    while (at < bytes.size()) {
        size_t end = bytes.find('\n', at);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(at, end - at);
        at = end + 1;
        ++number;
        // A CR ends the line as well: a file written on Windows keeps its rules.
        const size_t cr = line.find('\r');
        if (cr != std::string::npos) line.resize(cr);
        file.lines.push_back(line);
        if (line.empty() || line[0] == ' ') continue;
        if (line.find('\0') != std::string::npos) {
            file.lineRefused = true;
            file.notices.push_back(Fill(Tr("rules",
                                           "Die Regeldatei %1, Zeile %2, wird nicht verwendet: sie enthält "
                                           "ein NUL-Byte"),
                                        {path, std::to_string(number)}));
            continue;
        }
        file.rules.push_back(std::move(line));
    }
    return file;
}
