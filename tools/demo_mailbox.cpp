// Starts a private Dovecot POP3 server on a free loopback port, fills its
// mailbox with the sample messages of a folder, prints "PORT USER PASSWORD"
// on one line and keeps serving until standard input closes or a signal
// arrives; then stops the server and removes its files.
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

namespace {
volatile sig_atomic_t stop = 0;
void OnSignal(int) { stop = 1; }
}  // namespace

int main(int argc, char **argv) {
    const std::string folder = argc > 1 ? argv[1] : "tests/data";
    DovecotServer server;
    std::string error;
    if (!server.Start(&error)) {
        std::fprintf(stderr, "demo_mailbox: %s\n", error.c_str());
        return 1;
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
    }
    std::printf("%d %s %s\n", server.Port(), DovecotServer::kUser, DovecotServer::kPassword);
    std::fflush(stdout);
    std::fprintf(stderr, "demo_mailbox: %d messages on 127.0.0.1:%d\n", count, server.Port());
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    char buffer[64];
    while (!stop && ::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
    }
    return 0;
}
