// SPDX-License-Identifier: GPL-3.0-or-later
#include "MessageProof.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace {

std::string Bytes(long count) { return std::to_string(count) + " Bytes"; }

}  // namespace

std::string ProveBackup(const std::string &path, const std::string &top, long listed,
                        long announced) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return "Die Sicherung ließ sich zur Prüfung nicht lesen";
    struct stat info {};
    const bool sized = ::fstat(fd, &info) == 0;
    std::vector<char> start(top.size());
    size_t got = 0;
    while (got < start.size()) {
        const ssize_t n = ::read(fd, start.data() + got, start.size() - got);
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    if (!sized) return "Die Sicherung ließ sich zur Prüfung nicht lesen";
    const long length = static_cast<long>(info.st_size);
    if (got != top.size() || top.compare(0, top.size(), start.data(), got) != 0)
        return "Die abgerufene Nachricht beginnt nicht wie die geprüfte (Kopf und erste Zeilen "
               "aus TOP); es ist nicht dieselbe Nachricht";
    if (std::labs(length - listed) > kProofSizeTolerance)
        return "Die abgerufene Nachricht hat " + Bytes(length) + ", die Nachrichtenliste (LIST) "
               "nannte " + Bytes(listed) + "; sie ist abgeschnitten oder nicht dieselbe";
    if (announced >= 0 && std::labs(length - announced) > kProofSizeTolerance)
        return "Die abgerufene Nachricht hat " + Bytes(length) + ", der Server kündigte " +
               Bytes(announced) + " an; sie ist abgeschnitten oder nicht dieselbe";
    return {};
}
