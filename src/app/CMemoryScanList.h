// The message list without a window: rows of six cells kept in memory,
// for the headless runs (/b without a display, --list).
#pragma once

#include <string>
#include <vector>

#include "CScanList.h"

class CMemoryScanList : public CScanList {
public:
    struct Cell {
        std::string bytes;
        std::string charset;
    };

    void DeleteAllRows() override;
    void InsertRow(int index, const std::string &column0, const std::string &charset) override;
    void SetCellText(int row, int column, const std::string &bytes,
                     const std::string &charset) override;
    std::string CellText(int row, int column) const override;
    std::vector<int> SelectedRows() const override;
    void SetRowKey(int row, const std::string &key) override;
    std::string RowKey(int row) const override;

    int RowCount() const { return static_cast<int>(m_rows.size()); }
    // The cell as shown: UTF-8.
    std::string ShownText(int row, int column) const;

private:
    std::vector<std::vector<Cell>> m_rows;
    std::vector<std::string> m_keys;  // one per row
};
