// SPDX-License-Identifier: GPL-3.0-or-later
#include "CUT_StringList.h"

CUT_StringList::~CUT_StringList() = default;

int CUT_StringList::AddString(const char *text) {
    if (text == nullptr) return 0;
    m_texts.emplace_back(text);
    return 1;
}

int CUT_StringList::RemoveAll() {
    m_texts.clear();
    return 1;
}

int CUT_StringList::GetCount() const { return static_cast<int>(m_texts.size()); }

const char *CUT_StringList::GetString(int index) const {
    if (index < 0 || index >= GetCount()) return nullptr;
    return m_texts[static_cast<size_t>(index)].c_str();
}
