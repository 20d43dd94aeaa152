// SPDX-License-Identifier: GPL-3.0-or-later
// Names of the local backup and save files of messages (CBackupFile
// writes them).
#pragma once

#include <string>

// "msg_%Y_%m_%d_%H_%M_%S_" in local time, the Message-Id value as looked up
// (with its leading blank), ".txt"; '<' and '>' removed. Characters that
// cannot stand in a file name here become '_', and an overlong identifier
// is cut, so the file always lands in the working directory.
std::string MakeBackupFileName(const std::string &messageId);
