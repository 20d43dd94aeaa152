// SPDX-License-Identifier: GPL-3.0-or-later
// Test inputs that live outside the test code: the project's own sample
// messages in tests/data and the shared real-world corpus beside the
// repository (which may be absent).
#pragma once

#include <string>
#include <vector>

std::string ReadBinaryFile(const std::string &path);
// Every line end becomes CR LF, as a POP3 server sends it.
std::string ToCrLf(const std::string &text);
// What a TOP n 25 returns of a message (line ends made CR LF): the
// header, the empty line and the first 25 body lines.
std::string TopLines(const std::string &message);
// The first text part of each message file as Python's email library
// decodes it (tests/support/first_text.py, one run for all), in order;
// empty texts where there is none or python3 is missing.
std::vector<std::string> FirstTextReferences(const std::vector<std::string> &paths);
// Paths of the files in tests/data (sorted).
std::vector<std::string> SampleMessages();
// The folder of the shared corpus, empty when it is not there.
std::string CorpusDirectory();
// Paths of the corpus messages listed in its manifest (sorted).
std::vector<std::string> CorpusMessages();
