#include "KeyboardLocks.h"

#include <QGuiApplication>

#include <X11/XKBlib.h>

KeyboardLocks ReadKeyboardLocks() {
    KeyboardLocks locks;
    auto *x11 = qApp != nullptr ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display *display = x11 != nullptr ? x11->display() : nullptr;
    if (display == nullptr) return locks;
    auto lit = [display](const char *name, bool *on) {
        Bool state = False;
        const Atom atom = XInternAtom(display, name, True);
        if (atom == None) return false;
        if (!XkbGetNamedIndicator(display, atom, nullptr, &state, nullptr, nullptr)) return false;
        *on = state == True;
        return true;
    };
    const bool caps = lit("Caps Lock", &locks.capsLock);
    const bool num = lit("Num Lock", &locks.numLock);
    lit("Scroll Lock", &locks.scrollLock);
    locks.known = caps || num;
    return locks;
}
