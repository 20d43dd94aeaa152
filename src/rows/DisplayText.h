// SPDX-License-Identifier: GPL-3.0-or-later
// Mail text is bytes in whatever character set its sender chose; the list
// shows Unicode. These conversions give UTF-8 for display.
#pragma once

#include <string>

// Bytes in the named character set (as an encoded word reports it) to
// UTF-8. Without a usable name: UTF-8 stays as it is, anything else is
// read as Windows-1252, the code page the program's texts came from.
std::string DisplayText(const std::string &bytes, const char *charset = nullptr);
// Whether DisplayText gives the bytes back unchanged (well-formed UTF-8,
// named so or not named), told without a copy.
bool DisplayTextIsBytes(const std::string &bytes, const char *charset = nullptr);
