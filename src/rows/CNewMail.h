// SPDX-License-Identifier: GPL-3.0-or-later
// Which messages are new since the last scan, by the key of their row (the
// unique id where the server lists them, else Message-Id and size). The
// first scan only sets the mark: what waited when the program started is
// in the window, not news.
#pragma once

#include <set>
#include <string>
#include <vector>

class CScanRowModel;

class CNewMail {
public:
    // The rows of this scan whose messages the last scan did not have;
    // rows the scan deleted are no news.
    std::vector<int> NewRows(const CScanRowModel &rows);
    // Messages waiting on the server after the scan (rows not deleted).
    static int Waiting(const CScanRowModel &rows);
    // "Anna <anna@example.de>: Betreff" for each row, at most limit lines
    // and then "... und N weitere".
    static std::string Summary(const CScanRowModel &rows, const std::vector<int> &which,
                               size_t limit = 5);

private:
    bool m_seenOnce = false;
    std::set<std::string> m_known;
};
