// SPDX-License-Identifier: GPL-3.0-or-later
// The window program: the main window over the settings of the program of
// that name, until it closes (in batch mode: after its one scan).
#pragma once

#include <string>

class CWindowApp {
public:
    // Returns the process's exit status.
    static int Run(int argc, char **argv, const std::string &executableName);
};
