// SPDX-License-Identifier: GPL-3.0-or-later
// Starts bench/delay_proxy.py in front of a server: every chunk delayed by
// delayMs in each direction, and with strip the PIPELINING capability taken
// out. Returns the port it listens on (0 on failure) and its pid; the
// caller ends it with SIGTERM.
#pragma once

#include <sys/types.h>

#include <string>

int StartDelayProxy(const std::string &benchDir, int target, double delayMs, bool strip, pid_t *pid);
