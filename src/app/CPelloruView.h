// The message list: a report list of six columns filling the main window,
// one row per message of the last scan. It carries out the commands on
// messages (through the scan), the context menu and the clipboard copy,
// and is the list and window the scan talks to.
#pragma once

#include <QTreeWidget>

#include <string>

#include "CScanList.h"
#include "CScanWindow.h"

class QMenu;
class CSettingsStore;

class CPelloruView : public QTreeWidget, public CScanList, public CScanWindow {
    Q_OBJECT
public:
    static constexpr int kColumns = kScanColumns;
    static constexpr int kCellBytesRole = Qt::UserRole;
    // The cell's whole text, line breaks included; the list shows it on one
    // line, copies take it whole.
    static constexpr int kCellTextRole = Qt::UserRole + 1;
    // Column 0 only: what identifies the row's message on the server.
    static constexpr int kRowKeyRole = Qt::UserRole + 2;
    static constexpr int kMenuCellLimit = 100;

    CPelloruView(const CSettingsStore &settings, std::string executableName,
                 QWidget *parent = nullptr);

    // Columns; in batch mode the List scan, before the window is shown.
    void OnInitialUpdate();

    // CScanList
    void DeleteAllRows() override;
    void InsertRow(int index, const std::string &column0, const std::string &charset) override;
    void SetCellText(int row, int column, const std::string &bytes,
                     const std::string &charset) override;
    std::string CellText(int row, int column) const override;
    std::vector<int> SelectedRows() const override;
    void SetRowKey(int row, const std::string &key) override;
    std::string RowKey(int row) const override;
    // CScanWindow
    void SetTitle(const std::string &title) override;
    void RepaintList() override;
    void ShowMessage(const std::string &text) override;

    int SelectedCount() const;
    // The cell's whole text as shown (UTF-8 converted), line breaks kept.
    QString FullText(int row, int column) const;
    const QString &LastClickedCellText() const { return m_lastClickedCell; }
    // The context menu last opened (for tests); null before the first.
    QMenu *LastContextMenu() const { return m_contextMenu; }
    void OpenContextMenu(const QPoint &position);
    // How the last scan from this view ended (CMailboxScan::Outcome).
    int LastScanOutcome() const { return m_lastOutcome; }

public slots:
    void OnCheck();
    void OnDelete();
    void OnSave();
    void OnCopy(int command);
    void OnSettings();

signals:
    void SelectionCountChanged(int count);

private:
    void RunScan(int mode);

    const CSettingsStore &m_settings;
    std::string m_executableName;
    QString m_lastClickedCell;
    QMenu *m_contextMenu = nullptr;
    int m_lastOutcome = 0;
};
