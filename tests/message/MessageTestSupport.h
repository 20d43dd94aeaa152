// SPDX-License-Identifier: GPL-3.0-or-later
// Loads a message text into a CUT_MailMessage the way the scan does: through
// a memory source of 32000 bytes.
#pragma once

#include <string>

#include "CUT_MailMessage.h"
#include "CUT_MemorySource.h"

inline ResultCode LoadText(CUT_MailMessage &message, const std::string &text,
                           int capacity = 32000) {
    CUT_MemorySource source(nullptr, capacity);
    source.Open(OpenMode::Write);
    source.Write(text.data(), static_cast<int>(text.size()));
    source.Close();
    return message.LoadFromSource(source);
}

inline std::string Lookup(const CUT_MailMessage &message, const char *name, int size = 1000,
                          int *result = nullptr) {
    std::string buffer(static_cast<size_t>(size > 0 ? size : 1), '\0');
    int rc = message.GetHeaderByName(name, buffer.data(), size);
    if (result != nullptr) *result = rc;
    return buffer.c_str();
}
