#include "CScanRowFeed.h"

#include <QMetaObject>

CScanRowFeed::CScanRowFeed(CScanRowModel &model) : m_model(model), m_selected(model.SelectedRows()) {
    m_rows.resize(static_cast<size_t>(model.RowCount()));
    for (int row = 0; row < model.RowCount(); ++row) {
        for (int column = 0; column < kScanColumns; ++column)
            m_rows[static_cast<size_t>(row)].bytes[column] = model.CellText(row, column);
        m_rows[static_cast<size_t>(row)].key = model.RowKey(row);
    }
}

void CScanRowFeed::Add(CScanRowModel::RowOp op) {
    m_ops.push_back(std::move(op));
    if (std::chrono::steady_clock::now() - m_lastFlush >= std::chrono::milliseconds(kBatchMilliseconds))
        Flush();
}

// Queued calls to one receiver from one thread run in the order they were
// made, so the model sees the writes as the scan made them.
void CScanRowFeed::Flush() {
    m_lastFlush = std::chrono::steady_clock::now();
    if (m_ops.empty()) return;
    CScanRowModel *model = &m_model;
    QMetaObject::invokeMethod(
        model, [model, ops = std::move(m_ops)] { model->Apply(ops); }, Qt::QueuedConnection);
    m_ops.clear();
}

void CScanRowFeed::DeleteAllRows() {
    m_rows.clear();
    m_selected.clear();
    CScanRowModel::RowOp op;
    op.kind = CScanRowModel::RowOp::Clear;
    Add(std::move(op));
}

void CScanRowFeed::InsertRow(int index, const std::string &column0, const std::string &charset) {
    if (index < 0 || index > static_cast<int>(m_rows.size())) index = static_cast<int>(m_rows.size());
    m_rows.insert(m_rows.begin() + index, Row());
    m_rows[static_cast<size_t>(index)].bytes[0] = column0;
    Add({CScanRowModel::RowOp::Insert, index, 0, column0, charset,
         CScanRowModel::ShownFor(column0, charset)});
}

void CScanRowFeed::SetCellText(int row, int column, const std::string &bytes,
                               const std::string &charset) {
    if (!Has(row) || column < 0 || column >= kScanColumns) return;
    m_rows[static_cast<size_t>(row)].bytes[column] = bytes;
    Add({CScanRowModel::RowOp::Cell, row, column, bytes, charset,
         CScanRowModel::ShownFor(bytes, charset)});
}

std::string CScanRowFeed::CellText(int row, int column) const {
    if (!Has(row) || column < 0 || column >= kScanColumns) return {};
    return m_rows[static_cast<size_t>(row)].bytes[column];
}

void CScanRowFeed::SetRowKey(int row, const std::string &key) {
    if (!Has(row)) return;
    m_rows[static_cast<size_t>(row)].key = key;
    Add({CScanRowModel::RowOp::Key, row, 0, key, std::string(), std::string()});
}

std::string CScanRowFeed::RowKey(int row) const {
    return Has(row) ? m_rows[static_cast<size_t>(row)].key : std::string();
}
