// The list as a scan on a worker thread sees it: every write is kept in a
// copy of the rows (which the scan reads back) and handed to the row
// model in the model's thread, in order, gathered into batches of at most
// kBatchMilliseconds: the window's thread gets one call per batch, not
// one per cell, and stays free for the user. The selection is the one the
// model had when the feed was made: a command acts on the rows selected
// when it was given.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "CScanList.h"
#include "CScanRowModel.h"

class CScanRowFeed : public CScanList {
public:
    static constexpr int kBatchMilliseconds = 40;

    // Copies the model's rows; call in the model's thread.
    explicit CScanRowFeed(CScanRowModel &model);

    void DeleteAllRows() override;
    void InsertRow(int index, const std::string &column0, const std::string &charset) override;
    void SetCellText(int row, int column, const std::string &bytes,
                     const std::string &charset) override;
    std::string CellText(int row, int column) const override;
    std::vector<int> SelectedRows() const override { return m_selected; }
    void SetRowKey(int row, const std::string &key) override;
    std::string RowKey(int row) const override;
    // Hands the writes gathered so far to the model.
    void Flush();

private:
    void Add(CScanRowModel::RowOp op);

    struct Row {
        std::string bytes[kScanColumns];
        std::string key;
    };
    bool Has(int row) const { return row >= 0 && row < static_cast<int>(m_rows.size()); }

    CScanRowModel &m_model;
    std::vector<Row> m_rows;
    std::vector<int> m_selected;
    std::vector<CScanRowModel::RowOp> m_ops;
    std::chrono::steady_clock::time_point m_lastFlush = std::chrono::steady_clock::now();
};
