// SPDX-License-Identifier: GPL-3.0-or-later
// What the scan needs of the message list: rows of six text cells and the
// selected rows. A cell holds the bytes the scan found, and the character
// set they are in when the scan knows it (empty otherwise); the list shows
// them converted to Unicode (DisplayText) and hands the bytes back. The
// desktop view implements it over its list control; tests and the headless
// runs over memory.
#pragma once

#include <string>
#include <vector>

#include "RowState.h"

// The six columns of a row.
enum ScanColumn { ColAddress = 0, ColName = 1, ColSize = 2, ColSubject = 3, ColText = 4, ColId = 5 };
constexpr int kScanColumns = 6;

// The texts a message gives its row (UTF-8), as a value: read from its
// header or from the cache, and kept there alike.
struct RowCells {
    bool hasFrom = false;
    std::string address, name;
    bool hasSubject = false;
    std::string subject, preview;
};

class CScanList {
public:
    virtual ~CScanList() = default;
    virtual void DeleteAllRows() = 0;
    virtual void InsertRow(int index, const std::string &column0,
                           const std::string &charset = std::string()) = 0;
    virtual void SetCellText(int row, int column, const std::string &bytes,
                             const std::string &charset = std::string()) = 0;
    // The cell's bytes as they were set.
    virtual std::string CellText(int row, int column) const = 0;
    // Selected row indexes in ascending order.
    virtual std::vector<int> SelectedRows() const = 0;
    // What identifies the row's message on the server for the commands on
    // selected rows (not shown); empty when nothing does.
    virtual void SetRowKey(int row, const std::string &key) = 0;
    virtual std::string RowKey(int row) const = 0;
    // The sender's address of the row's message, whatever column 0 shows
    // later (a mark takes the address's place there); lists that offer no
    // commands on senders need not keep it.
    virtual void SetRowSender(int, const std::string &) {}
    virtual std::string RowSender(int) const { return {}; }
    // What happened to the row's message; column 0 then says so in words.
    // Lists that keep only text take the words.
    virtual void SetRowState(int row, RowState state, const std::string &detail = {}) {
        SetCellText(row, ColAddress, RowStateText(state, detail));
    }
    virtual RowState RowStateOf(int) const { return RowState::None; }
};
