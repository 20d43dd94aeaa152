// SPDX-License-Identifier: GPL-3.0-or-later
#include "CScanRowModel.h"

#include <algorithm>

#include "DisplayText.h"
#include "Translate.h"

namespace {
const char *const kTitles[] = {TrNoop("rows", "E-Mail"),  TrNoop("rows", "Name"), TrNoop("rows", "Größe"),
                               TrNoop("rows", "Betreff"), TrNoop("rows", "Text"), TrNoop("rows", "ID"),
                               TrNoop("rows", "Konto")};

QString ToQString(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}
}

CScanRowModel::CScanRowModel(QObject *parent) : QAbstractTableModel(parent) {}

std::string CScanRowModel::ShownFor(const std::string &bytes, const std::string &charset) {
    return DisplayText(bytes, charset.c_str());
}

void CScanRowModel::SetCell(Cell &cell, const std::string &bytes, const std::string &shown) {
    // A cell set again leaves its old texts in the store until the rows are
    // cleared: only marks are set again, a few per scan.
    cell.bytes = m_texts.Keep(bytes);
    cell.shown = &shown == &bytes || shown == bytes ? cell.bytes : m_texts.Keep(shown);
}

void CScanRowModel::AppendRow() {
    if (m_rowCount % kRowsPerChunk == 0 && static_cast<size_t>(m_rowCount / kRowsPerChunk) == m_chunks.size())
        m_chunks.push_back(m_texts.Room<Row>(kRowsPerChunk));
    new (&RowAt(m_rowCount)) Row();
    ++m_rowCount;
}

void CScanRowModel::Apply(const std::vector<RowOp> &ops) {
    // Only appends (as a scan makes them) go in one announcement;
    // anything else is applied one by one.
    int count = RowCount();
    for (const RowOp &op : ops) {
        if (op.kind == RowOp::Clear || (op.kind == RowOp::Insert && op.row != count)) {
            for (const RowOp &one : ops) {
                switch (one.kind) {
                case RowOp::Clear: DeleteAllRows(); break;
                case RowOp::Insert: InsertRow(one.row, one.bytes, one.charset); break;
                case RowOp::Cell: SetCellText(one.row, one.column, one.bytes, one.charset); break;
                case RowOp::Key: SetRowKey(one.row, one.bytes); break;
                case RowOp::Sender: SetRowSender(one.row, one.bytes); break;
                case RowOp::State: SetRowState(one.row, static_cast<RowState>(one.column), one.bytes); break;
                }
            }
            return;
        }
        if (op.kind == RowOp::Insert) ++count;
    }
    const int before = RowCount();
    if (count > before) beginInsertRows(QModelIndex(), before, count - 1);
    int firstChanged = before, lastChanged = -1;
    for (const RowOp &op : ops) {
        if (op.kind == RowOp::Insert) {
            AppendRow();
            SetCell(RowAt(m_rowCount - 1).cells[0], op.bytes, op.text);
            continue;
        }
        if (op.row < 0 || op.row >= RowCount()) continue;
        if (op.row < before) firstChanged = std::min(firstChanged, op.row), lastChanged = std::max(lastChanged, op.row);
        if (op.kind == RowOp::Key) {
            RowAt(op.row).key = m_texts.Keep(op.bytes);
        } else if (op.kind == RowOp::Sender) {
            RowAt(op.row).sender = m_texts.Keep(op.bytes);
        } else if (op.kind == RowOp::State) {
            RowAt(op.row).state = static_cast<RowState>(op.column);
            SetCell(RowAt(op.row).cells[ColAddress], op.text, op.text);
        } else if (op.column >= 0 && op.column < kScanColumns) {
            SetCell(RowAt(op.row).cells[op.column], op.bytes, op.text);
        }
    }
    if (count > before) endInsertRows();
    if (lastChanged >= 0)
        emit dataChanged(index(firstChanged, 0), index(lastChanged, kScanColumns - 1));
}

int CScanRowModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : RowCount();
}

int CScanRowModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : kScanColumns + 1;
}

void CScanRowModel::SetAccountName(const std::string &name) {
    m_account = name;
    if (RowCount() > 0) emit dataChanged(index(0, kAccountColumn), index(RowCount() - 1, kAccountColumn));
}

const CScanRowModel::Cell *CScanRowModel::At(int row, int column) const {
    if (row < 0 || row >= RowCount() || column < 0 || column >= kScanColumns) return nullptr;
    return &RowAt(row).cells[column];
}

QVariant CScanRowModel::data(const QModelIndex &index, int role) const {
    if (index.column() == kAccountColumn && index.row() >= 0 && index.row() < RowCount() &&
        (role == Qt::DisplayRole || role == kCellTextRole))
        return QString::fromStdString(m_account);
    const Cell *cell = At(index.row(), index.column());
    if (cell == nullptr) return {};
    switch (role) {
    case Qt::DisplayRole: {
        // One line per row, as a report list shows it.
        QString line = ToQString(cell->shown);
        line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
        return line.replace(QChar('\r'), QChar(' ')).replace(QChar('\n'), QChar(' '));
    }
    case kCellTextRole: return ToQString(cell->shown);
    case kCellBytesRole: return QByteArray(cell->bytes.data(), static_cast<qsizetype>(cell->bytes.size()));
    case kRowKeyRole:
        return index.column() == 0
                   ? QVariant(QByteArray(RowAt(index.row()).key.data(),
                                         static_cast<qsizetype>(RowAt(index.row()).key.size())))
                   : QVariant();
    default: return {};
    }
}

QVariant CScanRowModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section > kAccountColumn)
        return {};
    return QString::fromUtf8(Tr("rows", kTitles[section]));
}

void CScanRowModel::DeleteAllRows() {
    beginResetModel();
    m_chunks.clear();
    m_rowCount = 0;
    m_texts.Clear();
    endResetModel();
}

void CScanRowModel::InsertRow(int index, const std::string &column0, const std::string &charset) {
    if (index < 0 || index > RowCount()) index = RowCount();
    beginInsertRows(QModelIndex(), index, index);
    // Rows after it move down by one (a scan only appends).
    AppendRow();
    for (int at = m_rowCount - 1; at > index; --at) RowAt(at) = RowAt(at - 1);
    RowAt(index) = Row();
    endInsertRows();
    SetCellText(index, 0, column0, charset);
}

void CScanRowModel::SetCellText(int row, int column, const std::string &bytes,
                                const std::string &charset) {
    if (At(row, column) == nullptr) return;
    if (DisplayTextIsBytes(bytes, charset.c_str()))
        SetCell(RowAt(row).cells[column], bytes, bytes);
    else
        SetCell(RowAt(row).cells[column], bytes, ShownFor(bytes, charset));
    const QModelIndex changed = index(row, column);
    emit dataChanged(changed, changed);
}

std::string CScanRowModel::CellText(int row, int column) const {
    const Cell *cell = At(row, column);
    return cell != nullptr ? std::string(cell->bytes) : std::string();
}

void CScanRowModel::SetRowKey(int row, const std::string &key) {
    if (row >= 0 && row < RowCount()) RowAt(row).key = m_texts.Keep(key);
}

std::string CScanRowModel::RowKey(int row) const {
    return row >= 0 && row < RowCount() ? std::string(RowAt(row).key) : std::string();
}

void CScanRowModel::SetRowState(int row, RowState state, const std::string &detail) {
    if (row < 0 || row >= RowCount()) return;
    RowAt(row).state = state;
    SetCellText(row, ColAddress, RowStateText(state, detail), "UTF-8");
}

RowState CScanRowModel::RowStateOf(int row) const {
    return row >= 0 && row < RowCount() ? RowAt(row).state : RowState::None;
}

void CScanRowModel::SetRowSender(int row, const std::string &address) {
    if (row >= 0 && row < RowCount()) RowAt(row).sender = m_texts.Keep(address);
}

std::string CScanRowModel::RowSender(int row) const {
    return row >= 0 && row < RowCount() ? std::string(RowAt(row).sender) : std::string();
}

std::string CScanRowModel::ShownText(int row, int column) const {
    const Cell *cell = At(row, column);
    if (cell == nullptr) return {};
    return std::string(cell->shown);
}

std::string_view CScanRowModel::ShownView(int row, int column) const {
    const Cell *cell = At(row, column);
    return cell != nullptr ? cell->shown : std::string_view();
}

QString CScanRowModel::FullText(int row, int column) const {
    const Cell *cell = At(row, column);
    return cell != nullptr ? ToQString(cell->shown) : QString();
}
