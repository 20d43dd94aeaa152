#include "CScanRowFeed.h"

#include <QMetaObject>

#include "CScanRowModel.h"

CScanRowFeed::CScanRowFeed(CScanRowModel &model) : m_model(model), m_selected(model.SelectedRows()) {
    m_rows.resize(static_cast<size_t>(model.RowCount()));
    for (int row = 0; row < model.RowCount(); ++row) {
        for (int column = 0; column < kScanColumns; ++column)
            m_rows[static_cast<size_t>(row)].bytes[column] = model.CellText(row, column);
        m_rows[static_cast<size_t>(row)].key = model.RowKey(row);
    }
}

// Queued calls to one receiver from one thread run in the order they were
// made, so the model sees the writes as the scan made them.
void CScanRowFeed::DeleteAllRows() {
    m_rows.clear();
    m_selected.clear();
    CScanRowModel *model = &m_model;
    QMetaObject::invokeMethod(model, [model] { model->DeleteAllRows(); }, Qt::QueuedConnection);
}

void CScanRowFeed::InsertRow(int index, const std::string &column0, const std::string &charset) {
    if (index < 0 || index > static_cast<int>(m_rows.size())) index = static_cast<int>(m_rows.size());
    m_rows.insert(m_rows.begin() + index, Row());
    m_rows[static_cast<size_t>(index)].bytes[0] = column0;
    CScanRowModel *model = &m_model;
    QMetaObject::invokeMethod(
        model, [model, index, column0, charset] { model->InsertRow(index, column0, charset); },
        Qt::QueuedConnection);
}

void CScanRowFeed::SetCellText(int row, int column, const std::string &bytes,
                               const std::string &charset) {
    if (!Has(row) || column < 0 || column >= kScanColumns) return;
    m_rows[static_cast<size_t>(row)].bytes[column] = bytes;
    CScanRowModel *model = &m_model;
    QMetaObject::invokeMethod(
        model, [model, row, column, bytes, charset] { model->SetCellText(row, column, bytes, charset); },
        Qt::QueuedConnection);
}

std::string CScanRowFeed::CellText(int row, int column) const {
    if (!Has(row) || column < 0 || column >= kScanColumns) return {};
    return m_rows[static_cast<size_t>(row)].bytes[column];
}

void CScanRowFeed::SetRowKey(int row, const std::string &key) {
    if (!Has(row)) return;
    m_rows[static_cast<size_t>(row)].key = key;
    CScanRowModel *model = &m_model;
    QMetaObject::invokeMethod(model, [model, row, key] { model->SetRowKey(row, key); },
                              Qt::QueuedConnection);
}

std::string CScanRowFeed::RowKey(int row) const {
    return Has(row) ? m_rows[static_cast<size_t>(row)].key : std::string();
}
