// SPDX-License-Identifier: GPL-3.0-or-later
#include "CPelloruView.h"

#include <algorithm>
#include <filesystem>
#include <unordered_map>

#include <QAction>
#include <QDateTime>
#include <QApplication>
#include <QClipboard>
#include <QInputDialog>
#include <QLineEdit>
#include <QSaveFile>
#include <QEventLoop>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>

#include "BatchMode.h"
#include "CHeadlessRun.h"
#include "CAccountScans.h"
#include "CScanConfig.h"
#include "CAccountsDlg.h"
#include "CAllowList.h"
#include "CMessageCache.h"
#include "CRuleFile.h"
#include "CRulesDlg.h"
#include "CScanRowModel.h"
#include "CommandIds.h"
#include "ScanMode.h"
#include "Ui.h"

namespace {
const int kWidths[] = {150, 150, 80, 300, 400, 200};
}

CPelloruView::CPelloruView(const CSettingsStore &settings, std::string executableName,
                           QWidget *parent)
    : QTreeView(parent), m_settings(settings), m_executableName(std::move(executableName)) {
    m_scans = new CAccountScans(*this, m_executableName, this);
    m_scans->SetAccounts(CScanConfig::Load(m_settings));
    setModel(m_scans->Rows());
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &CPelloruView::OpenContextMenu);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { emit SelectionCountChanged(SelectedCount()); });
    connect(m_scans, &CAccountScans::Finished, this, [this](int outcome, bool stopped) {
        m_lastOutcome = outcome;
        emit ScanFinished(outcome, m_mode, stopped);
    });
}

CPelloruView::~CPelloruView() {
    // The scans' threads end before the rows and the window they write to.
    delete m_scans;
    m_scans = nullptr;
}

CScanRowModel *CPelloruView::Model() const { return &m_scans->AccountRows(0); }

void CPelloruView::InsertRow(int index, const std::string &column0, const std::string &charset) {
    Model()->InsertRow(index, column0, charset);
}

void CPelloruView::SetCellText(int row, int column, const std::string &bytes,
                               const std::string &charset) {
    Model()->SetCellText(row, column, bytes, charset);
}

std::string CPelloruView::CellText(int row, int column) const {
    const auto [account, at] = m_scans->Locate(row);
    return account < 0 ? std::string() : m_scans->AccountRows(account).CellText(at, column);
}

QString CPelloruView::FullText(int row, int column) const {
    const auto [account, at] = m_scans->Locate(row);
    return account < 0 ? QString() : m_scans->AccountRows(account).FullText(at, column);
}

void CPelloruView::LoadAccounts() {
    if (Scanning()) return;
    // A new set of accounts makes the columns anew; their widths stay.
    std::vector<int> widths;
    for (int column = 0; column <= CScanRowModel::kAccountColumn; ++column) widths.push_back(columnWidth(column));
    m_scans->SetAccounts(CScanConfig::Load(m_settings));
    for (int column = 0; column <= CScanRowModel::kAccountColumn; ++column)
        if (widths[static_cast<size_t>(column)] > 0 && columnWidth(column) != widths[static_cast<size_t>(column)])
            setColumnWidth(column, widths[static_cast<size_t>(column)]);
    // The account column only where there is more than one account, first.
    const bool several = m_scans->AccountCount() > 1;
    header()->setSectionHidden(CScanRowModel::kAccountColumn, !several);
    if (several && header()->visualIndex(CScanRowModel::kAccountColumn) != 0)
        header()->moveSection(header()->visualIndex(CScanRowModel::kAccountColumn), 0);
}

std::vector<int> CPelloruView::SelectedListRows() const {
    std::vector<int> rows;
    for (const QModelIndex &index : selectionModel()->selectedRows()) rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CPelloruView::OnInitialUpdate() {
    header()->setStretchLastSection(false);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int column = 0; column < kColumns; ++column) setColumnWidth(column, kWidths[column]);
    setColumnWidth(CScanRowModel::kAccountColumn, 120);
    LoadAccounts();
    if (!BatchMode) return;
    // Unattended: the scan runs to its end before the program does, and
    // the window stays painted meanwhile.
    QEventLoop loop;
    connect(this, &CPelloruView::ScanFinished, &loop, &QEventLoop::quit);
    RunScan(List);
    if (Scanning()) loop.exec();
}

QString CPelloruView::ShownCell(int row, int column) const {
    return model()->data(model()->index(row, column)).toString();
}

void CPelloruView::SelectRow(int row, bool selected) {
    selectionModel()->select(model()->index(row, 0),
                             (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                                 QItemSelectionModel::Rows);
}

bool CPelloruView::SelectByKey(const std::string &section, const std::string &key) {
    int offset = 0;
    for (int account = 0; account < m_scans->AccountCount(); ++account) {
        const CScanRowModel &rows = m_scans->AccountRows(account);
        if (m_scans->Account(account).section == section) {
            for (int row = 0; row < rows.RowCount(); ++row) {
                if (rows.RowKey(row) != key) continue;
                clearSelection();
                SelectRow(offset + row, true);
                scrollTo(model()->index(offset + row, 0));
                return true;
            }
        }
        offset += rows.RowCount();
    }
    return false;
}

bool CPelloruView::IsRowSelected(int row) const {
    return selectionModel()->isRowSelected(row, QModelIndex());
}

int CPelloruView::SelectedCount() const {
    return static_cast<int>(selectionModel()->selectedRows().size());
}

bool CPelloruView::Scanning() const { return m_scans != nullptr && m_scans->Running(); }

void CPelloruView::SetTitle(const std::string &title) {
    window()->setWindowTitle(QString::fromStdString(title));
}

void CPelloruView::RepaintList() { viewport()->update(); }

void CPelloruView::Progress(long done, long total) { emit ProgressChanged(done, total); }

void CPelloruView::Saved(const std::string &path) { emit SavedTo(QString::fromLocal8Bit(path.c_str())); }

void CPelloruView::ShowMessage(const std::string &text, const std::string &detail) {
    // An unattended run asks no one anything; it says what failed.
    if (BatchMode) {
        if (!detail.empty() && !BatchQuiet) CHeadlessRun::PrintFailure(m_executableName, text, detail);
        return;
    }
    // A check nobody started asks nobody: its failure shows as the
    // account's state (status bar, tray, a notice when that changes).
    if (m_unattended) return;
    // The box waits for its reader without holding the scans: the others
    // go on, and so do the timer and push.
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Pelloru"), QString::fromStdString(text),
                                QMessageBox::Ok, this);
    if (!detail.empty()) box->setDetailedText(QString::fromStdString(detail));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

void CPelloruView::RowFailed(const std::string &text, const std::string &detail) {
    if (BatchMode && !BatchQuiet) CHeadlessRun::PrintFailure(m_executableName, text, detail);
}

void CPelloruView::Notice(const std::string &text) {
    if (BatchMode && !BatchQuiet) CHeadlessRun::PrintFailure(m_executableName, text, {});
    emit Noticed(QString::fromStdString(text));
}

void CPelloruView::RunScan(int mode, bool dryRun, const std::vector<std::string> &only, bool unattended) {
    if (Scanning()) return;
    m_mode = mode;
    m_unattended = unattended && !BatchMode;
    // The selection, by account, as it is now; then the settings as they are now.
    std::map<std::string, std::vector<int>> bySection;
    if (mode != List) {
        for (int row : SelectedListRows()) {
            const auto [account, at] = m_scans->Locate(row);
            if (account >= 0) bySection[m_scans->Account(account).section].push_back(at);
        }
    }
    LoadAccounts();
    std::map<int, std::vector<int>> selected;
    std::vector<int> accounts;
    const long long now = QDateTime::currentSecsSinceEpoch();
    for (int account = 0; account < m_scans->AccountCount(); ++account) {
        const std::string &section = m_scans->Account(account).section;
        const auto rows = bySection.find(section);
        if (rows != bySection.end()) selected[account] = rows->second;
        const bool chosen = only.empty() || std::find(only.begin(), only.end(), section) != only.end();
        if (!only.empty() && chosen) accounts.push_back(account);
        if (mode == List && chosen) m_lastChecked[section] = now;
    }
    if (!only.empty() && accounts.empty()) return;
    if (m_scans->Start(mode, dryRun, selected, accounts)) emit ScanStarted();
}

void CPelloruView::OnCheck() { RunScan(List); }

void CPelloruView::OnTimedCheck() {
    if (Scanning()) return;
    const long long now = QDateTime::currentSecsSinceEpoch();
    std::vector<std::string> due;
    for (const AccountConfig &account : CScanConfig::Load(m_settings)) {
        if (account.intervalMinutes <= 0) continue;
        const auto last = m_lastChecked.find(account.section);
        // A few seconds early still counts: the timer is not exact.
        if (last == m_lastChecked.end() || now - last->second >= account.intervalMinutes * 60LL - 5)
            due.push_back(account.section);
    }
    if (!due.empty()) RunScan(List, false, due, true);
}

void CPelloruView::OnPushedCheck(const std::vector<std::string> &sections) {
    if (Scanning() || sections.empty()) return;
    RunScan(List, false, sections, true);
}

void CPelloruView::OnCheckDryRun() { RunScan(List, true); }

std::unique_ptr<CRulesDlg> CPelloruView::MakeRulesDialog() {
    const std::vector<int> rows = SelectedListRows();
    int account = rows.empty() ? 0 : m_scans->Locate(rows.front()).first;
    if (account < 0 || account >= m_scans->AccountCount()) account = 0;
    if (m_scans->AccountCount() == 0) return nullptr;
    const std::string patterns = m_scans->Account(account).Patterns();
    const auto same = [&patterns](const std::string &other) {
        std::error_code ec;
        return other == patterns || std::filesystem::weakly_canonical(other, ec) ==
                                        std::filesystem::weakly_canonical(patterns, ec);
    };
    // Every account that uses the file: its rows' texts as the patterns
    // see them (from the cache where it is there, else as the row shows
    // them) and when each line last matched there.
    std::vector<std::string> texts, names;
    std::unordered_map<std::string, long long> hits;
    for (int each = 0; each < m_scans->AccountCount(); ++each) {
        const AccountConfig &config = m_scans->Account(each);
        if (!same(config.Patterns())) continue;
        names.push_back(config.DisplayName());
        const CScanRowModel &model = m_scans->AccountRows(each);
        CMessageCache cache(m_executableName, config.Server().CacheKey(config.user));
        for (int row = 0; row < model.RowCount(); ++row) {
            const std::string key = model.RowKey(row);
            std::string text = key.rfind("U:", 0) == 0 ? cache.Text(key.substr(2)) : std::string();
            if (text.empty())
                text = "From: " + model.CellText(row, ColName) + " <" + model.RowSender(row) + ">\nSubject:" +
                       model.CellText(row, ColSubject) + "\n\n" + model.CellText(row, ColText);
            texts.push_back(std::move(text));
        }
        for (const auto &[line, last] : cache.RuleHits()) hits[line] = std::max(hits[line], last);
    }
    return std::make_unique<CRulesDlg>(patterns, CAllowList::BesidePatterns(patterns), std::move(texts),
                                       std::move(hits), QDateTime::currentSecsSinceEpoch(), names, this);
}

void CPelloruView::OnRules() {
    if (Scanning()) return;
    std::unique_ptr<CRulesDlg> dialog = MakeRulesDialog();
    if (dialog != nullptr && dialog->exec() == QDialog::Accepted) RunScan(List, true);
}

void CPelloruView::OnRuleFromRow(int command) {
    const std::vector<int> rows = SelectedListRows();
    if (Scanning() || rows.size() != 1) return;
    const auto [account, at] = m_scans->Locate(rows.front());
    if (account < 0) return;
    const AccountConfig config = m_scans->Account(account);
    const CScanRowModel &model = m_scans->AccountRows(account);
    // The message's sender, whatever mark its row shows.
    const std::string address = model.RowSender(at);
    const std::string patterns = config.Patterns();
    const bool allow = command == ID_ALLOW_SENDER;
    const std::string file = allow ? CAllowList::BesidePatterns(patterns) : patterns;
    std::string line;
    if (command == ID_BLOCK_SUBJECT) {
        // From the subject as sent where the message is known (an encoded
        // or folded one matches only so), else as shown.
        const std::string key = model.RowKey(at);
        if (key.rfind("U:", 0) == 0 && config.cache) {
            CMessageCache cache(m_executableName, config.Server().CacheKey(config.user));
            line = CRuleFile::SubjectPatternFor(cache.Text(key.substr(2)));
        }
        if (line.empty()) line = CRuleFile::SubjectPattern(model.CellText(at, ColSubject));
    } else {
        if (address.find('@') == std::string::npos) {
            QMessageBox::information(this, QStringLiteral("Pelloru"), Ui("app", "Diese Zeile nennt keinen Absender."));
            return;
        }
        line = allow ? CRuleFile::AllowLine(address) : CRuleFile::SenderPattern(address);
    }
    bool ok = false;
    const QString text =
        QInputDialog::getText(this, allow ? Ui("app", "Absender erlauben") : Ui("app", "Regel hinzufügen"),
                              (allow ? Ui("app", "Diese Zeile kommt in die Ausnahmeliste %1:")
                                     : Ui("app", "Diese Zeile kommt in die Musterdatei %1:"))
                                  .arg(QString::fromLocal8Bit(file.c_str())),
                              QLineEdit::Normal, QString::fromUtf8(line.c_str()), &ok);
    if (!ok) return;
    line = text.toUtf8().toStdString();
    if (CRuleFile::MatchesEverything(line)) {
        QMessageBox::warning(this, QStringLiteral("Pelloru"),
                             Ui("app", "Diese Zeile träfe jede E-Mail; sie wird nicht eingetragen."));
        return;
    }
    std::string problem;
    if (!CRuleFile::Append(file, line, &problem)) {
        QMessageBox::warning(this, QStringLiteral("Pelloru"), QString::fromUtf8(problem.c_str()));
        return;
    }
    // What the rules do now, at once, without acting.
    RunScan(List, true, {config.section});
}

void CPelloruView::OnCancel() {
    if (Scanning()) m_scans->Stop();
}

void CPelloruView::OnDelete() {
    if (SelectedCount() > 0) RunScan(DeleteSelected);
}

void CPelloruView::OnSave() {
    if (SelectedCount() > 0) RunScan(SaveSelected);
}

void CPelloruView::OnSettings() {
    if (Scanning()) return;
    CAccountsDlg dialog(m_settings, window());
    dialog.exec();
    LoadAccounts();
}

void CPelloruView::OpenContextMenu(const QPoint &position) {
    const QModelIndex at = indexAt(position);
    if (!at.isValid()) return;
    const int row = at.row();
    const int column = at.column();
    // Selected and focused; the other selected rows stay selected.
    const QModelIndex index = model()->index(row, column < 0 ? 0 : column);
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
    connect(add(Ui("app", "Kopieren selektierte"), ID_EDIT_COPY), &QAction::triggered, this,
            [this] { OnCopy(ID_EDIT_COPY); });
    QAction *save = add(Ui("app", "Sichern selektierte"), ID_SAVE);
    save->setEnabled(idle);
    connect(save, &QAction::triggered, this, &CPelloruView::OnSave);
    connect(add(Ui("app", "Kopieren: ") + shown, ID_COPY_CELL), &QAction::triggered, this,
            [this] { OnCopy(ID_COPY_CELL); });
    m_contextMenu->addSeparator();
    QAction *remove = add(Ui("app", "Löschen selektierte"), ID_DELETE);
    remove->setEnabled(idle);
    connect(remove, &QAction::triggered, this, &CPelloruView::OnDelete);
    m_contextMenu->addSeparator();
    for (const auto &[text, id] : {std::pair{Ui("app", "Absender sperren"), int(ID_BLOCK_SENDER)},
                                   std::pair{Ui("app", "Betreff sperren"), int(ID_BLOCK_SUBJECT)},
                                   std::pair{Ui("app", "Absender erlauben"), int(ID_ALLOW_SENDER)}}) {
        QAction *rule = add(text, id);
        rule->setEnabled(idle && SelectedCount() == 1);
        connect(rule, &QAction::triggered, this, [this, id = id] { OnRuleFromRow(id); });
    }
    m_contextMenu->popup(viewport()->mapToGlobal(position));
}

bool CPelloruView::SaveRows(const QString &path) {
    std::vector<int> rows = SelectedListRows();
    if (rows.empty())
        for (int row = 0; row < model()->rowCount(); ++row) rows.push_back(row);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    // Mail previews are for the user's eyes only.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    // With several accounts, whose row it is comes first, as on screen.
    std::vector<int> columns;
    if (m_scans->AccountCount() > 1) columns.push_back(CScanRowModel::kAccountColumn);
    for (int column = ColAddress; column <= ColId; ++column) columns.push_back(column);
    for (int row : rows) {
        QString line;
        for (int column : columns) {
            QString cell = column == CScanRowModel::kAccountColumn ? ShownCell(row, column) : FullText(row, column);
            cell.replace(QLatin1Char('\t'), QStringLiteral("\\t"))
                .replace(QLatin1Char('\r'), QStringLiteral("\\r"))
                .replace(QLatin1Char('\n'), QStringLiteral("\\n"));
            line += (column == columns.front() ? QString() : QStringLiteral("\t")) + cell;
        }
        file.write((line + QLatin1Char('\n')).toUtf8());
    }
    return file.commit();
}

void CPelloruView::OnCopy(int command) {
    QString text;
    if (command == ID_COPY_CELL) {
        text = m_lastClickedCell;
    } else {
        setFocus();
        const std::vector<int> rows = SelectedListRows();
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
