// SPDX-License-Identifier: GPL-3.0-or-later
// Set once at start-up when the program runs one unattended scan (/b);
// never cleared. While it is set the scan shows no message box.
#pragma once

extern unsigned char BatchMode;

// Set by -q: unattended runs print no reasons for failures; the exit
// status alone tells.
extern unsigned char BatchQuiet;
