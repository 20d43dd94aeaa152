// SPDX-License-Identifier: GPL-3.0-or-later
// A small ordered list of texts, for header lines and attachment
// parameters of the codecs.
#pragma once

#include <string>
#include <vector>

class CUT_StringList {
public:
    CUT_StringList() = default;
    virtual ~CUT_StringList();

    // Appends a copy; returns 1 (0 for a null text).
    int AddString(const char *text);
    int RemoveAll();
    int GetCount() const;
    // The index-th text from 0, or null.
    const char *GetString(int index) const;

private:
    std::vector<std::string> m_texts;
};
