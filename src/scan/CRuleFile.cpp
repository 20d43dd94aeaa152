#include "CRuleFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

std::string Trimmed(const std::string &text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A wildcard in the text would widen the pattern; '?' matches itself too.
std::string Literal(const std::string &text) {
    std::string out;
    for (char c : Trimmed(text)) out += (c == '*' || c == '\r' || c == '\n') ? '?' : c;
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

std::string CRuleFile::AllowLine(const std::string &address) { return Literal(address); }

bool CRuleFile::MatchesEverything(const std::string &line) {
    return line.find_first_not_of(" \t*?") == std::string::npos;
}

bool CRuleFile::Append(const std::string &path, const std::string &line, std::string *problem) {
    std::string old;
    mode_t mode = 0600;
    struct stat info;
    if (::stat(path.c_str(), &info) == 0) {
        mode = info.st_mode & 07777;
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        if (!in.good() && !in.eof()) {
            *problem = "Die Datei " + path + " ließ sich nicht lesen";
            return false;
        }
        old = text.str();
    }
    std::string whole = old;
    if (!whole.empty() && whole.back() != '\n') whole += '\n';
    whole += line + "\n";

    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    std::string temporary = path + ".neu-XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        *problem = "Neben " + path + " ließ sich keine Datei anlegen: " + std::strerror(errno);
        return false;
    }
    const bool written = ::fchmod(fd, mode) == 0 && WriteAll(fd, whole) && ::fsync(fd) == 0;
    const int error = errno;
    if (::close(fd) != 0 || !written || ::rename(temporary.c_str(), path.c_str()) != 0) {
        *problem = "Die Datei " + path + " ließ sich nicht schreiben (" +
                   std::strerror(written ? errno : error) + "); sie ist unverändert";
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
