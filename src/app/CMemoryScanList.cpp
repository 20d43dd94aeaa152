#include "CMemoryScanList.h"

#include "DisplayText.h"

void CMemoryScanList::DeleteAllRows() {
    m_rows.clear();
    m_keys.clear();
}

void CMemoryScanList::InsertRow(int index, const std::string &column0, const std::string &charset) {
    if (index < 0 || index > RowCount()) index = RowCount();
    m_rows.insert(m_rows.begin() + index, std::vector<Cell>(kScanColumns));
    m_keys.insert(m_keys.begin() + index, std::string());
    m_rows[static_cast<size_t>(index)][0] = {column0, charset};
}

void CMemoryScanList::SetCellText(int row, int column, const std::string &bytes,
                                  const std::string &charset) {
    if (row < 0 || row >= RowCount() || column < 0 || column >= kScanColumns) return;
    m_rows[static_cast<size_t>(row)][static_cast<size_t>(column)] = {bytes, charset};
}

std::string CMemoryScanList::CellText(int row, int column) const {
    if (row < 0 || row >= RowCount() || column < 0 || column >= kScanColumns) return {};
    return m_rows[static_cast<size_t>(row)][static_cast<size_t>(column)].bytes;
}

std::vector<int> CMemoryScanList::SelectedRows() const { return {}; }

void CMemoryScanList::SetRowKey(int row, const std::string &key) {
    if (row >= 0 && row < RowCount()) m_keys[static_cast<size_t>(row)] = key;
}

std::string CMemoryScanList::RowKey(int row) const {
    return row >= 0 && row < RowCount() ? m_keys[static_cast<size_t>(row)] : std::string();
}

std::string CMemoryScanList::ShownText(int row, int column) const {
    if (row < 0 || row >= RowCount() || column < 0 || column >= kScanColumns) return {};
    const Cell &cell = m_rows[static_cast<size_t>(row)][static_cast<size_t>(column)];
    return DisplayText(cell.bytes, cell.charset.c_str());
}
