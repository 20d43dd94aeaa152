// SPDX-License-Identifier: GPL-3.0-or-later
// The rows of the last scan: six cells each, kept as the bytes the scan
// found with their character set, shown converted to Unicode. The one
// store of rows: the window's list shows it through the item model, the
// headless runs print it, and tests read it. It lives in the thread that
// owns it; a scan on another thread writes to it through CScanRowFeed.
#pragma once

#include <QAbstractTableModel>
#include <QString>

#include <string>
#include <string_view>
#include <vector>

#include "CScanList.h"
#include "CTextStore.h"

class CScanRowModel : public QAbstractTableModel, public CScanList {
    Q_OBJECT
public:
    // The cell's bytes as the scan set them.
    static constexpr int kCellBytesRole = Qt::UserRole;
    // The cell's whole text, line breaks included (the display role shows
    // it on one line); copies take it whole.
    static constexpr int kCellTextRole = Qt::UserRole + 1;
    // Column 0 only: what identifies the row's message on the server.
    static constexpr int kRowKeyRole = Qt::UserRole + 2;

    // One write to the rows, made elsewhere and applied here in a batch.
    struct RowOp {
        enum Kind { Clear, Insert, Cell, Key, Sender, State } kind = Cell;
        int row = 0;
        int column = 0;
        std::string bytes;  // the cell's bytes, or the key
        std::string charset;
        std::string text;  // the cell as shown (UTF-8), converted where the op was made
    };
    // The cell as shown, as SetCellText converts it (any thread).
    static std::string ShownFor(const std::string &bytes, const std::string &charset);

    explicit CScanRowModel(QObject *parent = nullptr);

    // QAbstractTableModel
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // CScanList
    void DeleteAllRows() override;
    void InsertRow(int index, const std::string &column0, const std::string &charset) override;
    void SetCellText(int row, int column, const std::string &bytes,
                     const std::string &charset) override;
    std::string CellText(int row, int column) const override;
    // The selection is the view's; a command hands it to the scan as a value.
    std::vector<int> SelectedRows() const override { return {}; }
    void SetRowKey(int row, const std::string &key) override;
    std::string RowKey(int row) const override;
    void SetRowSender(int row, const std::string &address) override;
    std::string RowSender(int row) const override;
    void SetRowState(int row, RowState state, const std::string &detail = {}) override;
    RowState RowStateOf(int row) const override;

    // Applies the writes in order. Rows added at the end are announced to
    // views once for the batch, changed cells once as one range: a large
    // scan costs the view little however many rows it brings.
    void Apply(const std::vector<RowOp> &ops);

    // The column after the scan's six: the account the rows belong to.
    static constexpr int kAccountColumn = kScanColumns;
    void SetAccountName(const std::string &name);
    const std::string &AccountName() const { return m_account; }
    int RowCount() const { return m_rowCount; }
    // The cell as shown: UTF-8, line breaks kept.
    std::string ShownText(int row, int column) const;
    // The same without a copy: valid until the rows change.
    std::string_view ShownView(int row, int column) const;
    QString FullText(int row, int column) const;

private:
    struct Cell {
        std::string_view bytes;
        // The cell as shown (UTF-8), converted once, when set; the same
        // view as the bytes where they agree (most cells are plain ASCII).
        std::string_view shown;
    };
    struct Row {
        Cell cells[kScanColumns];
        std::string_view key;
        std::string_view sender;
        RowState state = RowState::None;
    };
    // Rows live in chunks of the text store: a large scan costs one small
    // pointer per chunk on the heap, and appends move no row.
    static constexpr int kRowsPerChunk = 256;
    Row &RowAt(int row) { return m_chunks[static_cast<size_t>(row / kRowsPerChunk)][row % kRowsPerChunk]; }
    const Row &RowAt(int row) const {
        return m_chunks[static_cast<size_t>(row / kRowsPerChunk)][row % kRowsPerChunk];
    }
    void AppendRow();
    void SetCell(Cell &cell, const std::string &bytes, const std::string &shown);
    const Cell *At(int row, int column) const;

    CTextStore m_texts;  // every cell's bytes and shown text, and the rows
    std::vector<Row *> m_chunks;
    int m_rowCount = 0;
    std::string m_account;
};
