// SPDX-License-Identifier: GPL-3.0-or-later
// The application: start-up from the command line, the window or the
// headless runs, and the process's exit status. Without widgets: the
// window is a program of its own (runWindow), so that a run without one
// loads none of the window's libraries.
#pragma once

#include <string>

#include "CHeadlessRun.h"

class CPelloruApp {
public:
    // Exit statuses; see CHeadlessRun.
    static constexpr int kExitScanned = CHeadlessRun::kExitScanned;
    static constexpr int kExitFailed = CHeadlessRun::kExitFailed;
    static constexpr int kExitLogOnFailed = CHeadlessRun::kExitLogOnFailed;
    static constexpr int kExitMailboxFailed = CHeadlessRun::kExitMailboxFailed;
    static constexpr int kExitInterrupted = CHeadlessRun::kExitInterrupted;
    static constexpr int kExitMessagesFailed = CHeadlessRun::kExitMessagesFailed;
    static constexpr int kExitStopped = CHeadlessRun::kExitStopped;
    static constexpr int kExitUncertain = CHeadlessRun::kExitUncertain;
    static constexpr int kExitUsage = CHeadlessRun::kExitUsage;
    static constexpr int kExitNoDisplay = CHeadlessRun::kExitNoDisplay;

    // Opens the window and returns the exit status when it closes.
    using WindowProgram = int (*)(int argc, char **argv, const std::string &executableName);
    // Runs the program; returns the process's exit status.
    static int Main(int argc, char **argv, WindowProgram runWindow);

    // "/b" as the first two characters of the argument text.
    static bool IsBatchSwitch(const char *argumentText);
    // The program file's name without folder and extension.
    static std::string ExecutableName(const char *programPath);
    // Whether a window can be opened here: a platform is named, or the
    // display named by the environment answers.
    static bool DisplayAvailable();
    // Before any part of Qt starts: a private runtime folder when the
    // session has none (Qt would warn and make one itself).
    static void PrepareEnvironment();
};
