// SPDX-License-Identifier: GPL-3.0-or-later
// The state of the keyboard's lock keys, where the platform reports it:
// on X11 through the keyboard extension's named indicators.
#pragma once

struct KeyboardLocks {
    bool known = false;  // false: the platform does not tell
    bool capsLock = false;
    bool numLock = false;
    bool scrollLock = false;
};

KeyboardLocks ReadKeyboardLocks();
