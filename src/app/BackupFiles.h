// Names and writing of the local backup and save files of messages.
#pragma once

#include <string>

class CUT_ByteSource;

// "msg_%Y_%m_%d_%H_%M_%S_" in local time, the Message-Id value as looked up
// (with its leading blank), ".txt"; '<' and '>' removed. Characters that
// cannot stand in a file name here become '_', and an overlong identifier
// is cut, so the file always lands in the working directory.
std::string MakeBackupFileName(const std::string &messageId);

// Writes the source to a file of that name, or, when the name is taken, of
// the name with "_2", "_3", ... before ".txt": an earlier file is never
// replaced. Returns the name written, empty when nothing could be written.
std::string WriteBackupFile(CUT_ByteSource &source, const std::string &name);
