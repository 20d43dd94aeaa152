// SPDX-License-Identifier: GPL-3.0-or-later
#include "CRuleFile.h"

#include <strings.h>

#include <algorithm>

#include "CAllowList.h"
#include "RuleFileText.h"
#include "WildcardMatch.h"
#include "Translate.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

namespace {

std::string Lower(std::string text) {
    for (char &c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return text;
}

std::string Upper(std::string text) {
    for (char &c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return text;
}

std::string Trimmed(const std::string &text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A wildcard in the text would widen the pattern; '?' matches itself too.
std::string Literal(const std::string &text) {
    std::string out;
    for (char c : Trimmed(text)) out += (c == '*' || c == '\r' || c == '\n' || c == '\0') ? '?' : c;
    return out;
}

bool WriteAll(int fd, const std::string &bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

std::string CRuleFile::SenderPattern(const std::string &address) { return "From:*" + Literal(address); }

std::string CRuleFile::SubjectPattern(const std::string &subject) { return "Subject:*" + Literal(subject); }

std::string CRuleFile::SubjectPatternFor(const std::string &message) {
    // The header's lines, up to the empty line that ends it.
    size_t at = 0;
    while (at < message.size()) {
        const size_t end = std::min(message.find('\n', at), message.size());
        std::string line = message.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) break;
        at = end + 1;
        if (line.size() < 8 || strncasecmp(line.c_str(), "Subject:", 8) != 0) continue;
        // Patterns see one line at a time, as sent: the first line of the
        // field, or, where the field's text begins on the next, that line.
        std::string value = Literal(line.substr(8));
        bool continued = false;
        if (value.empty() && at < message.size() && (message[at] == ' ' || message[at] == '\t')) {
            const size_t next = std::min(message.find('\n', at), message.size());
            value = Literal(message.substr(at, next - at));
            continued = true;
        }
        if (value.empty()) return {};
        // A piece of a long line is enough to find it (and the matcher
        // looks only at the first kilobyte of a line).
        if (value.size() > kProposedLength) value.resize(kProposedLength);
        return continued ? value : "Subject:*" + value;
    }
    return {};
}

std::string CRuleFile::AllowLine(const std::string &address) { return Literal(address); }

bool CRuleFile::MatchesEverything(const std::string &line) {
    return line.find_first_not_of(" \t*?") == std::string::npos;
}

bool CRuleFile::Append(const std::string &path, const std::string &line, std::string *problem) {
    // Only a regular file is read (and then replaced): a FIFO or a device
    // in its place is not touched.
    RuleFileText file = RuleFileText::Load(path);
    if (file.status == RuleFileText::Refused) {
        *problem = file.notices.empty() ? Fill(Tr("rules", "Die Datei %1 ließ sich nicht lesen"), {path})
                                        : file.notices.front();
        return false;
    }
    std::vector<std::string> lines = std::move(file.lines);
    lines.push_back(line);
    return Replace(path, lines, problem);
}

bool CRuleFile::Replace(const std::string &path, const std::vector<std::string> &lines, std::string *problem) {
    mode_t mode = 0600;
    struct stat info;
    if (::stat(path.c_str(), &info) == 0) mode = info.st_mode & 07777;
    std::string whole;
    for (const std::string &line : lines) whole += line + "\n";

    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    std::string temporary = path + ".neu-XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        *problem = Fill(Tr("rules", "Neben %1 ließ sich keine Datei anlegen: %2"), {path, std::strerror(errno)});
        return false;
    }
    const bool written = ::fchmod(fd, mode) == 0 && WriteAll(fd, whole) && ::fsync(fd) == 0;
    const int error = errno;
    if (::close(fd) != 0 || !written || ::rename(temporary.c_str(), path.c_str()) != 0) {
        *problem = Fill(Tr("rules", "Die Datei %1 ließ sich nicht schreiben (%2); sie ist unverändert"),
                        {path, std::strerror(written ? errno : error)});
        ::unlink(temporary.c_str());
        return false;
    }
    // The rename itself on disk too.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

int CRuleFile::CountMatches(const std::string &line, bool allowList, const std::vector<std::string> &texts) {
    if (line.empty() || line[0] == ' ') return 0;
    const std::string pattern = allowList ? Lower(line) : "*" + Upper(line) + "*";
    int count = 0;
    for (const std::string &text : texts) {
        std::istringstream lines(text);
        std::string one;
        bool hit = false;
        while (!hit && std::getline(lines, one)) {
            if (!one.empty() && one.back() == '\r') one.pop_back();
            if (!allowList) {
                hit = WildcardMatch(Upper(one).c_str(), pattern.c_str(), '*', '?') != 0;
                continue;
            }
            const size_t colon = one.find(':');
            if (colon == std::string::npos) continue;
            const std::string field = Lower(one.substr(0, colon));
            if (field != "from" && field != "sender" && field != "reply-to") continue;
            for (const std::string &address : CAllowList::Addresses(one.substr(colon + 1)))
                hit = hit || WildcardMatch(Lower(address).c_str(), pattern.c_str(), '*', '?') != 0;
        }
        count += hit ? 1 : 0;
    }
    return count;
}
