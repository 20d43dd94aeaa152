// SPDX-License-Identifier: GPL-3.0-or-later
// The message list: a report list of six columns filling the main window,
// one row per message of the last scan, shown from the row model. It
// carries out the commands on messages (through a scan on its own
// thread), the context menu and the clipboard copy, and is the window the
// scan talks to.
#pragma once

#include <QTreeView>

#include <map>
#include <string>
#include <vector>

#include "CScanRowModel.h"
#include "CScanWindow.h"

class QMenu;
class CAccountScans;
class CSettingsStore;

class CRulesDlg;

class CPelloruView : public QTreeView, public CScanWindow {
    Q_OBJECT
public:
    static constexpr int kColumns = kScanColumns;
    static constexpr int kMenuCellLimit = 100;

    CPelloruView(const CSettingsStore &settings, std::string executableName,
                 QWidget *parent = nullptr);
    ~CPelloruView() override;

    // Columns; in batch mode the List scan, run to its end.
    void OnInitialUpdate();

    // Every account's rows and scans.
    CAccountScans &Scans() const { return *m_scans; }
    // The first account's rows (the only one's, mostly).
    CScanRowModel *Model() const;
    // Rows of the first account, as a scan sets them (for tests).
    void InsertRow(int index, const std::string &column0, const std::string &charset);
    void SetCellText(int row, int column, const std::string &bytes, const std::string &charset);
    // A cell of a row of the list, whichever account it belongs to.
    std::string CellText(int row, int column) const;
    // The cell as the list shows it (one line).
    QString ShownCell(int row, int column) const;
    void SelectRow(int row, bool selected);
    bool IsRowSelected(int row) const;
    // Selects only the row of that account (section) with that key, and
    // shows it; false when there is none.
    bool SelectByKey(const std::string &section, const std::string &key);

    // CScanWindow
    void SetTitle(const std::string &title) override;
    void RepaintList() override;
    void ShowMessage(const std::string &text, const std::string &detail) override;
    void Progress(long done, long total) override;
    void RowFailed(const std::string &text, const std::string &detail) override;
    void Notice(const std::string &text) override;
    void Saved(const std::string &path) override;
    // The selected rows (or all, with none selected) as lines of six
    // tab-separated columns (tab, CR and LF in a cell written \t, \r, \n),
    // UTF-8, into path, whole or not at all.
    bool SaveRows(const QString &path);

    int SelectedCount() const;
    // The cell's whole text as shown (UTF-8 converted), line breaks kept.
    QString FullText(int row, int column) const;
    const QString &LastClickedCellText() const { return m_lastClickedCell; }
    // The context menu last opened (for tests); null before the first.
    QMenu *LastContextMenu() const { return m_contextMenu; }
    void OpenContextMenu(const QPoint &position);
    // How the last scan from this view ended (ScanOutcome).
    int LastScanOutcome() const { return m_lastOutcome; }
    // Whether the last check was started by the timer or push.
    bool LastRunUnattended() const { return m_unattended; }
    bool Scanning() const;

    // Reads the accounts from the settings again (the Konto column shows
    // only when there are several); not while a scan runs.
    void LoadAccounts();

public slots:
    void OnCheck();
    // A scan of the accounts whose own interval has passed (the timer's).
    void OnTimedCheck();
    // A rule from the selected row (ID_BLOCK_SENDER, ID_BLOCK_SUBJECT,
    // ID_ALLOW_SENDER): the line is shown to be changed or confirmed, goes
    // into the account's pattern file or allow-list, and a dry run of the
    // account shows what the rules now do.
    void OnRuleFromRow(int command);
    // "Regeln...": the rules of the selected row's account (else the first).
    void OnRules();
    std::unique_ptr<CRulesDlg> MakeRulesDialog();
    // A check of these accounts now, as their watches found new mail.
    void OnPushedCheck(const std::vector<std::string> &sections);
    void OnCheckDryRun();
    void OnCancel();
    void OnDelete();
    void OnSave();
    void OnCopy(int command);
    void OnSettings();

signals:
    void SelectionCountChanged(int count);
    void ScanStarted();
    // outcome: ScanOutcome; mode: List, DeleteSelected, SaveSelected.
    void ScanFinished(int outcome, int mode, bool stopped);
    void ProgressChanged(long done, long total);
    // "In Datei sichern" wrote this file (a path as the system has it).
    void SavedTo(const QString &path);
    // A notice of a scan for the status bar (a rule file not used, ...).
    void Noticed(const QString &text);

private:
    // only: the sections of the accounts to scan; empty: all. unattended:
    // started by the timer or push, not by the user.
    void RunScan(int mode, bool dryRun = false, const std::vector<std::string> &only = {},
                 bool unattended = false);
    std::vector<int> SelectedListRows() const;

    const CSettingsStore &m_settings;
    std::string m_executableName;
    CAccountScans *m_scans = nullptr;
    // When each account (by section) was last checked, for the timer.
    std::map<std::string, long long> m_lastChecked;
    QString m_lastClickedCell;
    QMenu *m_contextMenu = nullptr;
    int m_lastOutcome = 0;
    int m_mode = 0;
    bool m_unattended = false;
};
