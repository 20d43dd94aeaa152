#include "CPelloruView.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>

#include "BatchMode.h"
#include "CMailboxScan.h"
#include "CSettingsDlg.h"
#include "CommandIds.h"
#include "DisplayText.h"

namespace {

const char *const kTitles[] = {"E-Mail", "Name", "Größe", "Betreff", "Text", "ID"};
const int kWidths[] = {150, 150, 80, 300, 400, 200};

QString Shown(const std::string &bytes, const std::string &charset) {
    return QString::fromStdString(DisplayText(bytes, charset.c_str()));
}

}  // namespace

CPelloruView::CPelloruView(const CSettingsStore &settings, std::string executableName,
                           QWidget *parent)
    : QTreeWidget(parent), m_settings(settings), m_executableName(std::move(executableName)) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setColumnCount(0);
    connect(this, &QWidget::customContextMenuRequested, this, &CPelloruView::OpenContextMenu);
    connect(this, &QTreeWidget::itemSelectionChanged, this,
            [this] { emit SelectionCountChanged(SelectedCount()); });
}

void CPelloruView::OnInitialUpdate() {
    QStringList titles;
    for (const char *title : kTitles) titles << QString::fromUtf8(title);
    setColumnCount(kColumns);
    setHeaderLabels(titles);
    header()->setStretchLastSection(false);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int column = 0; column < kColumns; ++column) setColumnWidth(column, kWidths[column]);
    if (BatchMode) RunScan(List);
}

void CPelloruView::DeleteAllRows() { clear(); }

void CPelloruView::InsertRow(int index, const std::string &column0, const std::string &charset) {
    if (index < 0 || index > topLevelItemCount()) index = topLevelItemCount();
    insertTopLevelItem(index, new QTreeWidgetItem());
    SetCellText(index, 0, column0, charset);
}

void CPelloruView::SetCellText(int row, int column, const std::string &bytes,
                               const std::string &charset) {
    QTreeWidgetItem *item = topLevelItem(row);
    if (item == nullptr || column < 0 || column >= kColumns) return;
    const QString text = Shown(bytes, charset);
    // One line per row, as a report list shows it.
    QString line = text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    line.replace(QChar('\r'), QChar(' ')).replace(QChar('\n'), QChar(' '));
    item->setText(column, line);
    item->setData(column, kCellTextRole, text);
    item->setData(column, kCellBytesRole, QByteArray::fromStdString(bytes));
}

std::string CPelloruView::CellText(int row, int column) const {
    QTreeWidgetItem *item = topLevelItem(row);
    if (item == nullptr || column < 0 || column >= kColumns) return {};
    return item->data(column, kCellBytesRole).toByteArray().toStdString();
}

std::vector<int> CPelloruView::SelectedRows() const {
    std::vector<int> rows;
    for (int row = 0; row < topLevelItemCount(); ++row)
        if (topLevelItem(row)->isSelected()) rows.push_back(row);
    return rows;
}

void CPelloruView::SetRowKey(int row, const std::string &key) {
    QTreeWidgetItem *item = topLevelItem(row);
    if (item != nullptr) item->setData(0, kRowKeyRole, QByteArray::fromStdString(key));
}

std::string CPelloruView::RowKey(int row) const {
    QTreeWidgetItem *item = topLevelItem(row);
    if (item == nullptr) return {};
    return item->data(0, kRowKeyRole).toByteArray().toStdString();
}

QString CPelloruView::FullText(int row, int column) const {
    QTreeWidgetItem *item = topLevelItem(row);
    if (item == nullptr || column < 0 || column >= kColumns) return {};
    return item->data(column, kCellTextRole).toString();
}

int CPelloruView::SelectedCount() const { return static_cast<int>(selectedItems().size()); }

void CPelloruView::SetTitle(const std::string &title) {
    window()->setWindowTitle(QString::fromStdString(title));
}

void CPelloruView::RepaintList() {
    // Painted at once: the scan holds the event loop until it is done.
    viewport()->repaint();
}

void CPelloruView::ShowMessage(const std::string &text) {
    // An unattended run asks no one anything.
    if (BatchMode) return;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Pelloru"),
                    QString::fromStdString(text), QMessageBox::Ok, this);
    box.exec();
}

void CPelloruView::RunScan(int mode) {
    CMailboxScan scan(*this, *this, m_settings, m_executableName);
    scan.ScanMailbox(mode);
    m_lastOutcome = scan.LastOutcome();
}

void CPelloruView::OnCheck() { RunScan(List); }

void CPelloruView::OnDelete() {
    if (SelectedCount() > 0) RunScan(DeleteSelected);
}

void CPelloruView::OnSave() {
    if (SelectedCount() > 0) RunScan(SaveSelected);
}

void CPelloruView::OnSettings() {
    CSettingsDlg dialog(m_settings, window());
    dialog.exec();
}

void CPelloruView::OpenContextMenu(const QPoint &position) {
    QTreeWidgetItem *item = itemAt(position);
    if (item == nullptr) return;
    const int column = columnAt(position.x());
    // Selected and focused; the other selected rows stay selected.
    const QModelIndex index = indexFromItem(item, column < 0 ? 0 : column);
    selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    m_lastClickedCell = column >= 0 ? item->data(column, kCellTextRole).toString() : QString();

    QString shown = item->text(column < 0 ? 0 : column);
    if (shown.size() > kMenuCellLimit) shown = shown.left(kMenuCellLimit) + QStringLiteral("...");
    delete m_contextMenu;
    m_contextMenu = new QMenu(this);
    auto add = [this](const QString &text, int id) {
        QAction *action = m_contextMenu->addAction(text);
        action->setData(id);
        return action;
    };
    connect(add(QStringLiteral("Kopieren selektierte"), ID_EDIT_COPY), &QAction::triggered, this,
            [this] { OnCopy(ID_EDIT_COPY); });
    connect(add(QStringLiteral("Sichern selektierte"), ID_SAVE), &QAction::triggered, this,
            &CPelloruView::OnSave);
    connect(add(QStringLiteral("Kopieren: ") + shown, ID_COPY_CELL), &QAction::triggered, this,
            [this] { OnCopy(ID_COPY_CELL); });
    m_contextMenu->addSeparator();
    connect(add(QStringLiteral("Löschen selektierte"), ID_DELETE), &QAction::triggered, this,
            &CPelloruView::OnDelete);
    m_contextMenu->popup(viewport()->mapToGlobal(position));
}

void CPelloruView::OnCopy(int command) {
    QString text;
    if (command == ID_COPY_CELL) {
        text = m_lastClickedCell;
    } else {
        setFocus();
        const std::vector<int> rows = SelectedRows();
        if (rows.empty()) return;  // the clipboard stays as it was
        for (int row : rows) {
            if (!text.isEmpty()) text += QStringLiteral("\r\n");
            // Every column but the ID.
            for (int column = ColAddress; column < ColId; ++column)
                text += FullText(row, column) + QStringLiteral("\r\n");
        }
    }
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (clipboard != nullptr) clipboard->setText(text);
}
