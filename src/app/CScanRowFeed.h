// The list as a scan on a worker thread sees it: every write is kept in a
// copy of the rows (which the scan reads back) and handed to the row
// model in the model's thread, in order. The selection is the one the
// model had when the feed was made: a command acts on the rows selected
// when it was given.
#pragma once

#include <string>
#include <vector>

#include "CScanList.h"

class CScanRowModel;

class CScanRowFeed : public CScanList {
public:
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

private:
    struct Row {
        std::string bytes[kScanColumns];
        std::string key;
    };
    bool Has(int row) const { return row >= 0 && row < static_cast<int>(m_rows.size()); }

    CScanRowModel &m_model;
    std::vector<Row> m_rows;
    std::vector<int> m_selected;
};
