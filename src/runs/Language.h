// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Chooses the language of every text from the locale (see EnglishWanted):
// for English it loads the translation built into the program and
// installs it for Tr. Returns whether English is in use.
bool UseUserLanguage();
