// SPDX-License-Identifier: GPL-3.0-or-later
#include "MessageProof.h"
#include "Translate.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

std::string ProveBackup(const std::string &path, const std::string &top, long listed,
                        long announced) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Tr("scan", "Die Sicherung ließ sich zur Prüfung nicht lesen");
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
    if (!sized) return Tr("scan", "Die Sicherung ließ sich zur Prüfung nicht lesen");
    const long length = static_cast<long>(info.st_size);
    if (got != top.size() || top.compare(0, top.size(), start.data(), got) != 0)
        return Tr("scan",
                  "Die abgerufene Nachricht beginnt nicht wie die geprüfte (Kopf und erste Zeilen "
                  "aus TOP); es ist nicht dieselbe Nachricht");
    if (std::labs(length - listed) > kProofSizeTolerance)
        return Fill(Tr("scan",
                       "Die abgerufene Nachricht hat %1 Bytes, die Nachrichtenliste (LIST) nannte %2 "
                       "Bytes; sie ist abgeschnitten oder nicht dieselbe"),
                    {std::to_string(length), std::to_string(listed)});
    if (announced >= 0 && std::labs(length - announced) > kProofSizeTolerance)
        return Fill(Tr("scan",
                       "Die abgerufene Nachricht hat %1 Bytes, der Server kündigte %2 Bytes an; sie ist "
                       "abgeschnitten oder nicht dieselbe"),
                    {std::to_string(length), std::to_string(announced)});
    return {};
}
