#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstdio>
#include <string>

#include "CPelloruApp.h"

namespace {

// The window is a program of its own beside this one (in the build folder)
// or in ../libexec/pelloru (installed); it gets the same arguments, and the
// same program name, so it reads the same profile.
int StartWindowProgram(int, char **argv, const std::string &) {
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    const std::string program = length > 0 ? std::string(self, static_cast<size_t>(length)) : std::string(argv[0]);
    const size_t slash = program.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : program.substr(0, slash == 0 ? 1 : slash);
    std::string tried;
    for (const std::string &path : {folder + "/pelloru-window", folder + "/../libexec/pelloru/pelloru-window"}) {
        ::execv(path.c_str(), argv);
        tried += " " + path;
    }
    std::fprintf(stderr, "pelloru: Das Fensterprogramm fehlt (gesucht:%s).\n", tried.c_str());
    return CPelloruApp::kExitNoDisplay;
}

}  // namespace

int main(int argc, char **argv) {
    // A server that hangs up must never end the program: a write to its
    // socket, also one that OpenSSL makes inside a read, gives an error.
    std::signal(SIGPIPE, SIG_IGN);
    return CPelloruApp::Main(argc, argv, StartWindowProgram);
}
