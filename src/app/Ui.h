// SPDX-License-Identifier: GPL-3.0-or-later
// A text of the window in the user's language (see Translate.h).
#pragma once

#include <QString>

#include "Translate.h"

inline QString Ui(const char *context, const char *text) { return QString::fromUtf8(Tr(context, text)); }
