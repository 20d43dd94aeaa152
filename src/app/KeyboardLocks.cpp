// SPDX-License-Identifier: GPL-3.0-or-later
#include "KeyboardLocks.h"

#include <QGuiApplication>

#include <X11/XKBlib.h>

KeyboardLocks ReadKeyboardLocks() {
    KeyboardLocks locks;
    auto *x11 = qApp != nullptr ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display *display = x11 != nullptr ? x11->display() : nullptr;
    if (display == nullptr) return locks;
    // The names are looked up once: each lookup is a round trip to the
    // server, and the state is read four times a second.
    static Display *namedOn = nullptr;
    static Atom atoms[3] = {None, None, None};
    if (namedOn != display) {
        const char *names[3] = {"Caps Lock", "Num Lock", "Scroll Lock"};
        for (int i = 0; i < 3; ++i) atoms[i] = XInternAtom(display, names[i], True);
        namedOn = display;
    }
    auto lit = [display](Atom atom, bool *on) {
        Bool state = False;
        if (atom == None) return false;
        if (!XkbGetNamedIndicator(display, atom, nullptr, &state, nullptr, nullptr)) return false;
        *on = state == True;
        return true;
    };
    const bool caps = lit(atoms[0], &locks.capsLock);
    const bool num = lit(atoms[1], &locks.numLock);
    lit(atoms[2], &locks.scrollLock);
    locks.known = caps || num;
    return locks;
}
