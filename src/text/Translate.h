// SPDX-License-Identifier: GPL-3.0-or-later
// The user's language. German is the source text of every message and the
// default; a program may install a translation, and every layer asks it
// through Tr. The texts are marked where they are written, so that the
// translation tools find them:
//   Tr("context", "Keine Verbindung zu %1: %2")   a text to show
//   TrNoop("context", "...")                      a text kept in a table,
//                                                 translated where shown
// Parts that change (names, numbers, server replies) go in as %1 .. %9
// through Fill, never by joining pieces, so a translation can put them
// where its language needs them.
#pragma once

#include <initializer_list>
#include <string>

#define TrNoop(context, text) text

// The translation of `text`, or `text` itself. The result lives as long
// as the program.
const char *Tr(const char *context, const char *text);

// `pattern` with %1 .. %9 replaced by the arguments; "%%" is one "%".
// A placeholder without an argument stays as it is.
std::string Fill(const std::string &pattern, std::initializer_list<std::string> arguments);

// Installs the translation that Tr asks; null restores the source texts.
// Install it before any thread runs that shows texts.
using Translation = const char *(*)(const char *context, const char *text);
void SetTranslation(Translation translation);

// Whether the locale in the environment (LC_ALL, else LC_MESSAGES, else
// LANG; the first that is set and not empty) asks for English: it begins
// with "en". Anything else, unset included, keeps German.
bool EnglishWanted();
