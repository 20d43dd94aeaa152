// SPDX-License-Identifier: GPL-3.0-or-later
// Starts a private Dovecot POP3 server on a free loopback port, fills its
// mailbox with the sample messages of a folder and, where Dovecot's IMAP
// server is installed, a second one that serves the same messages over
// imaps:// (with a certificate authority made for the run and a \Junk
// folder). Prints "PORT USER PASSWORD IMAPSPORT CAFILE" on one line
// (IMAPSPORT 0 and CAFILE "-" without IMAP) and keeps serving until
// standard input closes or a signal arrives; then stops the servers and
// removes their files.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "DovecotServer.h"
#include "TestCertificates.h"

namespace {
volatile sig_atomic_t stop = 0;
void OnSignal(int) { stop = 1; }
}  // namespace

int main(int argc, char **argv) {
    const std::string folder = argc > 1 ? argv[1] : "tests/data";
    DovecotServer server, imap;
    TestCertificates certificates;
    std::string error;
    if (!server.Start(&error)) {
        std::fprintf(stderr, "demo_mailbox: %s\n", error.c_str());
        return 1;
    }
    bool withImap = DovecotServer::ImapUnavailable().empty() && certificates.Ok();
    if (withImap) {
        imap.EnableTls(certificates.Certificate("server"), certificates.Key("server"));
        imap.EnableImap();
        withImap = imap.Start(&error);
        if (!withImap) std::fprintf(stderr, "demo_mailbox: no IMAP: %s\n", error.c_str());
    }
    std::vector<std::filesystem::path> files;
    for (auto &entry : std::filesystem::directory_iterator(folder))
        if (entry.path().extension() == ".eml") files.push_back(entry.path());
    std::sort(files.begin(), files.end());  // delivered in name order
    int count = 0;
    for (const auto &path : files) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        if (server.AddMessage(text.str())) ++count;
        if (withImap) imap.AddMessage(text.str());
    }
    std::printf("%d %s %s %d %s\n", server.Port(), DovecotServer::kUser, DovecotServer::kPassword,
                withImap ? imap.ImapsPort() : 0, withImap ? certificates.CaFile().c_str() : "-");
    std::fflush(stdout);
    std::fprintf(stderr, "demo_mailbox: %d messages on 127.0.0.1:%d\n", count, server.Port());
    if (withImap) std::fprintf(stderr, "demo_mailbox: the same over imaps://127.0.0.1:%d\n", imap.ImapsPort());
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    char buffer[64];
    while (!stop && ::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
    }
    return 0;
}
