// What the scan needs of the message list: rows of six text cells (UTF-8)
// and the selected rows. The desktop view implements it over its list
// control; tests and the batch run over memory.
#pragma once

#include <string>
#include <vector>

class CScanList {
public:
    virtual ~CScanList() = default;
    virtual void DeleteAllRows() = 0;
    virtual void InsertRow(int index, const std::string &column0) = 0;
    virtual void SetCellText(int row, int column, const std::string &text) = 0;
    virtual std::string CellText(int row, int column) const = 0;
    // Selected row indexes in ascending order.
    virtual std::vector<int> SelectedRows() const = 0;
};
