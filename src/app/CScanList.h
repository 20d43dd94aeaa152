// What the scan needs of the message list: rows of six text cells and the
// selected rows. A cell holds the bytes the scan found, and the character
// set they are in when the scan knows it (empty otherwise); the list shows
// them converted to Unicode (DisplayText) and hands the bytes back. The
// desktop view implements it over its list control; tests and the headless
// runs over memory.
#pragma once

#include <string>
#include <vector>

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
};
