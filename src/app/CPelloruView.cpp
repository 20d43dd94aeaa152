#include "CPelloruView.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QEventLoop>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>

#include "BatchMode.h"
#include "CHeadlessRun.h"
#include "CMailboxScan.h"
#include "CScanRunner.h"
#include "CSettingsDlg.h"
#include "CommandIds.h"

namespace {
const int kWidths[] = {150, 150, 80, 300, 400, 200};
}

CPelloruView::CPelloruView(const CSettingsStore &settings, std::string executableName,
                           QWidget *parent)
    : QTreeView(parent), m_settings(settings), m_executableName(std::move(executableName)) {
    m_model = new CScanRowModel(this);
    m_runner = new CScanRunner(*m_model, *this, this);
    setModel(m_model);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &CPelloruView::OpenContextMenu);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        std::vector<int> rows;
        for (const QModelIndex &index : selectionModel()->selectedRows()) rows.push_back(index.row());
        m_model->SetSelectedRows(std::move(rows));
        emit SelectionCountChanged(SelectedCount());
    });
    connect(m_runner, &CScanRunner::Finished, this,
            [this](int outcome, const QString &, bool stopped) {
                m_lastOutcome = outcome;
                emit ScanFinished(outcome, m_mode, stopped);
            });
}

CPelloruView::~CPelloruView() {
    // The scan's thread ends before the rows and the window it writes to.
    delete m_runner;
    m_runner = nullptr;
}

void CPelloruView::OnInitialUpdate() {
    header()->setStretchLastSection(false);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int column = 0; column < kColumns; ++column) setColumnWidth(column, kWidths[column]);
    if (!BatchMode) return;
    // Unattended: the scan runs to its end before the program does, and
    // the window stays painted meanwhile.
    QEventLoop loop;
    connect(this, &CPelloruView::ScanFinished, &loop, &QEventLoop::quit);
    RunScan(List);
    if (Scanning()) loop.exec();
}

QString CPelloruView::ShownCell(int row, int column) const {
    return m_model->data(m_model->index(row, column)).toString();
}

void CPelloruView::SelectRow(int row, bool selected) {
    selectionModel()->select(m_model->index(row, 0),
                             (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                                 QItemSelectionModel::Rows);
}

bool CPelloruView::IsRowSelected(int row) const {
    return selectionModel()->isRowSelected(row, QModelIndex());
}

int CPelloruView::SelectedCount() const {
    return static_cast<int>(selectionModel()->selectedRows().size());
}

bool CPelloruView::Scanning() const { return m_runner != nullptr && m_runner->Running(); }

void CPelloruView::SetTitle(const std::string &title) {
    window()->setWindowTitle(QString::fromStdString(title));
}

void CPelloruView::RepaintList() { viewport()->update(); }

void CPelloruView::Progress(long done, long total) { emit ProgressChanged(done, total); }

void CPelloruView::ShowMessage(const std::string &text, const std::string &detail) {
    // An unattended run asks no one anything; it says what failed.
    if (BatchMode) {
        if (!detail.empty() && !BatchQuiet) CHeadlessRun::PrintFailure(m_executableName, text, detail);
        return;
    }
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Pelloru"), QString::fromStdString(text),
                    QMessageBox::Ok, this);
    if (!detail.empty()) box.setDetailedText(QString::fromStdString(detail));
    box.exec();
}

void CPelloruView::RowFailed(const std::string &text, const std::string &detail) {
    if (BatchMode && !BatchQuiet) CHeadlessRun::PrintFailure(m_executableName, text, detail);
}

void CPelloruView::RunScan(int mode, bool dryRun) {
    if (Scanning()) return;
    m_mode = mode;
    if (m_runner->Start(m_settings, m_executableName, mode, dryRun)) emit ScanStarted();
}

void CPelloruView::OnCheck() { RunScan(List); }

void CPelloruView::OnCheckDryRun() { RunScan(List, true); }

void CPelloruView::OnCancel() {
    if (Scanning()) m_runner->Stop();
}

void CPelloruView::OnDelete() {
    if (SelectedCount() > 0) RunScan(DeleteSelected);
}

void CPelloruView::OnSave() {
    if (SelectedCount() > 0) RunScan(SaveSelected);
}

void CPelloruView::OnSettings() {
    if (Scanning()) return;
    CSettingsDlg dialog(m_settings, window());
    dialog.exec();
}

void CPelloruView::OpenContextMenu(const QPoint &position) {
    const QModelIndex at = indexAt(position);
    if (!at.isValid()) return;
    const int row = at.row();
    const int column = at.column();
    // Selected and focused; the other selected rows stay selected.
    const QModelIndex index = m_model->index(row, column < 0 ? 0 : column);
    selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    m_lastClickedCell = FullText(row, column);

    QString shown = ShownCell(row, column);
    if (shown.size() > kMenuCellLimit) shown = shown.left(kMenuCellLimit) + QStringLiteral("...");
    delete m_contextMenu;
    m_contextMenu = new QMenu(this);
    auto add = [this](const QString &text, int id) {
        QAction *action = m_contextMenu->addAction(text);
        action->setData(id);
        return action;
    };
    const bool idle = !Scanning();
    connect(add(QStringLiteral("Kopieren selektierte"), ID_EDIT_COPY), &QAction::triggered, this,
            [this] { OnCopy(ID_EDIT_COPY); });
    QAction *save = add(QStringLiteral("Sichern selektierte"), ID_SAVE);
    save->setEnabled(idle);
    connect(save, &QAction::triggered, this, &CPelloruView::OnSave);
    connect(add(QStringLiteral("Kopieren: ") + shown, ID_COPY_CELL), &QAction::triggered, this,
            [this] { OnCopy(ID_COPY_CELL); });
    m_contextMenu->addSeparator();
    QAction *remove = add(QStringLiteral("Löschen selektierte"), ID_DELETE);
    remove->setEnabled(idle);
    connect(remove, &QAction::triggered, this, &CPelloruView::OnDelete);
    m_contextMenu->popup(viewport()->mapToGlobal(position));
}

void CPelloruView::OnCopy(int command) {
    QString text;
    if (command == ID_COPY_CELL) {
        text = m_lastClickedCell;
    } else {
        setFocus();
        const std::vector<int> rows = m_model->SelectedRows();
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
