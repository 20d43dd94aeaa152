// SPDX-License-Identifier: GPL-3.0-or-later
#include "CNewMail.h"

#include "CScanRowModel.h"
#include "Translate.h"

namespace {

bool Deleted(const CScanRowModel &rows, int row) { return RowRemoved(rows.RowStateOf(row)); }

}  // namespace

std::vector<int> CNewMail::NewRows(const CScanRowModel &rows) {
    std::set<std::string> now;
    std::vector<int> fresh;
    for (int row = 0; row < rows.RowCount(); ++row) {
        const std::string key = rows.RowKey(row);
        if (key.empty() || Deleted(rows, row)) continue;
        now.insert(key);
        if (m_seenOnce && m_known.count(key) == 0) fresh.push_back(row);
    }
    m_known.swap(now);
    m_seenOnce = true;
    return fresh;
}

int CNewMail::Waiting(const CScanRowModel &rows) {
    int waiting = 0;
    for (int row = 0; row < rows.RowCount(); ++row)
        if (!Deleted(rows, row)) ++waiting;
    return waiting;
}

std::string CNewMail::Summary(const CScanRowModel &rows, const std::vector<int> &which,
                              size_t limit) {
    std::string text;
    for (size_t i = 0; i < which.size() && i < limit; ++i) {
        const int row = which[i];
        std::string name = rows.ShownText(row, ColName);
        while (!name.empty() && (name.back() == ' ' || name.back() == '"')) name.pop_back();
        while (!name.empty() && (name.front() == ' ' || name.front() == '"')) name.erase(0, 1);
        const std::string address = rows.ShownText(row, ColAddress);
        std::string sender = name.empty() ? address : name + " <" + address + ">";
        std::string subject = rows.ShownText(row, ColSubject);
        while (!subject.empty() && subject.front() == ' ') subject.erase(0, 1);
        if (!text.empty()) text += '\n';
        text += sender + ": " + subject;
    }
    if (which.size() > limit)
        text += "\n" + Fill(Tr("rows", "... und %1 weitere"), {std::to_string(which.size() - limit)});
    return text;
}
