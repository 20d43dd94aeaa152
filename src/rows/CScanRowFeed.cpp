// SPDX-License-Identifier: GPL-3.0-or-later
#include "CScanRowFeed.h"

#include <QMetaObject>

CScanRowFeed::CScanRowFeed(CScanRowModel &model, std::vector<int> selected)
    : m_model(model), m_rowCount(model.RowCount()) {
    for (int row : selected) {
        if (!Has(row)) continue;
        m_kept[row] = {model.RowKey(row), model.CellText(row, ColId)};
        m_selected.push_back(row);
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
    m_rowCount = 0;
    m_kept.clear();
    m_selected.clear();
    CScanRowModel::RowOp op;
    op.kind = CScanRowModel::RowOp::Clear;
    Add(std::move(op));
}

void CScanRowFeed::InsertRow(int index, const std::string &column0, const std::string &charset) {
    // A scan that inserts rows has cleared them first (List): nothing kept moves.
    if (index < 0 || index > m_rowCount) index = m_rowCount;
    ++m_rowCount;
    Add({CScanRowModel::RowOp::Insert, index, 0, column0, charset,
         CScanRowModel::ShownFor(column0, charset)});
}

void CScanRowFeed::SetCellText(int row, int column, const std::string &bytes,
                               const std::string &charset) {
    if (!Has(row) || column < 0 || column >= kScanColumns) return;
    const auto kept = m_kept.find(row);
    if (kept != m_kept.end() && column == ColId) kept->second.messageId = bytes;
    Add({CScanRowModel::RowOp::Cell, row, column, bytes, charset,
         CScanRowModel::ShownFor(bytes, charset)});
}

std::string CScanRowFeed::CellText(int row, int column) const {
    // The scan reads back only the Message-Id of the rows it acts on.
    const auto kept = m_kept.find(row);
    return kept != m_kept.end() && column == ColId ? kept->second.messageId : std::string();
}

void CScanRowFeed::SetRowKey(int row, const std::string &key) {
    if (!Has(row)) return;
    const auto kept = m_kept.find(row);
    if (kept != m_kept.end()) kept->second.key = key;
    Add({CScanRowModel::RowOp::Key, row, 0, key, std::string(), std::string()});
}

void CScanRowFeed::SetRowState(int row, RowState state, const std::string &detail) {
    if (!Has(row)) return;
    const std::string text = RowStateText(state, detail);
    Add({CScanRowModel::RowOp::State, row, static_cast<int>(state), detail, std::string(), text});
}

void CScanRowFeed::SetRowSender(int row, const std::string &address) {
    if (Has(row)) Add({CScanRowModel::RowOp::Sender, row, 0, address, std::string(), std::string()});
}

std::string CScanRowFeed::RowKey(int row) const {
    const auto kept = m_kept.find(row);
    return kept != m_kept.end() ? kept->second.key : std::string();
}
