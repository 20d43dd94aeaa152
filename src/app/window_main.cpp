// SPDX-License-Identifier: GPL-3.0-or-later
#include <csignal>

#include "CPelloruApp.h"
#include "CWindowApp.h"

// The program with the window; "pelloru" starts it when a window is wanted.
int main(int argc, char **argv) {
    // A server that hangs up must never end the program: a write to its
    // socket, also one that OpenSSL makes inside a read, gives an error.
    std::signal(SIGPIPE, SIG_IGN);
    return CPelloruApp::Main(argc, argv, CWindowApp::Run);
}
