// SPDX-License-Identifier: GPL-3.0-or-later
#include "BatchMode.h"

unsigned char BatchMode = 0;
unsigned char BatchQuiet = 0;
