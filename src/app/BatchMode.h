// Set once at start-up when the program runs one unattended scan (/b);
// never cleared. While it is set the scan shows no message box.
#pragma once

extern unsigned char BatchMode;
