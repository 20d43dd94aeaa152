// SPDX-License-Identifier: GPL-3.0-or-later
// Whole-text match of a pattern in which `many` stands for any run of
// characters and `one` for exactly one. Bytes are compared exactly. An empty
// text or pattern never matches. Runs in time proportional to text length
// times pattern length at worst, whatever the input.
#pragma once

int WildcardMatch(const char *text, const char *pattern, char many, char one);
