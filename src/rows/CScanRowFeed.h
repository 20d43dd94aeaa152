// SPDX-License-Identifier: GPL-3.0-or-later
// The list as a scan on a worker thread sees it: every write is handed to
// the row model in the model's thread, in order, gathered into batches of
// at most kBatchMilliseconds: the window's thread gets one call per batch,
// not one per cell, and stays free for the user. The rows a command acts
// on come in as a value when the feed is made (the selection stays with
// the view); of them the feed keeps what the scan reads back, their key
// and Message-Id, and of the rest only their number.
#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "CScanList.h"
#include "CScanRowModel.h"

class CScanRowFeed : public CScanList {
public:
    static constexpr int kBatchMilliseconds = 40;

    // selected: the rows a command acts on, ascending; call in the model's thread.
    explicit CScanRowFeed(CScanRowModel &model, std::vector<int> selected = {});

    void DeleteAllRows() override;
    void InsertRow(int index, const std::string &column0, const std::string &charset) override;
    void SetCellText(int row, int column, const std::string &bytes,
                     const std::string &charset) override;
    std::string CellText(int row, int column) const override;
    std::vector<int> SelectedRows() const override { return m_selected; }
    void SetRowKey(int row, const std::string &key) override;
    std::string RowKey(int row) const override;
    void SetRowSender(int row, const std::string &address) override;
    void SetRowState(int row, RowState state, const std::string &detail = {}) override;
    // Hands the writes gathered so far to the model.
    void Flush();

private:
    void Add(CScanRowModel::RowOp op);

    struct Kept {
        std::string key, messageId;
    };
    bool Has(int row) const { return row >= 0 && row < m_rowCount; }

    CScanRowModel &m_model;
    int m_rowCount = 0;
    std::map<int, Kept> m_kept;  // of the selected rows
    std::vector<int> m_selected;
    std::vector<CScanRowModel::RowOp> m_ops;
    std::chrono::steady_clock::time_point m_lastFlush = std::chrono::steady_clock::now();
};
