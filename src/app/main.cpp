// SPDX-License-Identifier: GPL-3.0-or-later
#include <unistd.h>
#if defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>
#endif

#include <climits>
#include <cstdint>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "CPelloruApp.h"
#include "Translate.h"

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
    std::fprintf(stderr, "%s\n", Fill(Tr("app", "pelloru: Das Fensterprogramm fehlt (gesucht:%1)."), {tried}).c_str());
    return CPelloruApp::kExitNoDisplay;
}

// A check of a large mailbox keeps its listing, its rows' values and the
// cache's index on the heap: tens of megabytes in small pieces. Where page
// faults are dear (virtual machines) a fault per 4 KiB costs more than the
// work; so the heap is grown in one step and offered for huge pages, and
// kept until the run ends (it is short).
void PreferLargeHeap() {
#if defined(__GLIBC__) && defined(MADV_HUGEPAGE) && !defined(__SANITIZE_ADDRESS__)
    constexpr size_t kHugePage = 2 << 20;
    constexpr size_t kPad = 64 << 20;
    mallopt(M_TOP_PAD, static_cast<int>(kPad));
    mallopt(M_TRIM_THRESHOLD, static_cast<int>(4 * kPad));
    mallopt(M_MMAP_THRESHOLD, static_cast<int>(kPad));
    // One allocation from the top of the heap makes it grow by the pad.
    void *probe = std::malloc(1 << 20);
    const auto start = (reinterpret_cast<uintptr_t>(probe) + kHugePage - 1) & ~(kHugePage - 1);
    const auto end = reinterpret_cast<uintptr_t>(::sbrk(0)) & ~(kHugePage - 1);
    // (Only where the probe came from that heap: a sanitizer's allocator
    // keeps its own.)
    if (probe != nullptr && end > start && end - start <= 2 * kPad)
        ::madvise(reinterpret_cast<void *>(start), end - start, MADV_HUGEPAGE);
    std::free(probe);
#endif
}

}  // namespace

int main(int argc, char **argv) {
    PreferLargeHeap();
    // A server that hangs up must never end the program: a write to its
    // socket, also one that OpenSSL makes inside a read, gives an error.
    std::signal(SIGPIPE, SIG_IGN);
    return CPelloruApp::Main(argc, argv, StartWindowProgram);
}
