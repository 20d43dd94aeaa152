// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: menus "&Datei", "&Bearbeiten" and "&?", the toolbar, the
// status bar with its message pane, the scan's progress and the lock
// indicators, and the message list in the client area. With "alle N
// Minuten prüfen" set it checks on its own, shows in the tray how many
// messages wait, tells of new ones, and closing it keeps it in the tray.
// IMAP accounts that check on their own are also watched (IDLE): new mail
// there starts a check within seconds.
#pragma once

#include "CNewMail.h"

#include <QMainWindow>

#include <map>
#include <memory>
#include <string>
#include <vector>

class CDesktopNotices;
class CIdleWatch;
class QAction;
class QLabel;
class QProgressBar;
class QSystemTrayIcon;
class QTimer;
class QToolBar;
class CPelloruDoc;
class CPelloruView;
class CSettingsStore;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    CMainFrame(const CSettingsStore &settings, const std::string &executableName,
               QWidget *parent = nullptr);
    ~CMainFrame() override;

    CPelloruView *View() const { return m_view; }
    CPelloruDoc *Document() const { return m_document; }
    QToolBar *ToolBar() const { return m_toolBar; }
    // The action of a command identifier, null when there is none.
    QAction *Command(int id) const;
    QLabel *MessagePane() const { return m_messagePane; }
    // The desktop's notification service, for notices with buttons.
    CDesktopNotices *Notices() const { return m_notices; }
    // Minutes between checks from the settings; 0: off.
    int CheckMinutes() const;
    // Reads the interval anew and starts or stops the timer, the watches
    // of IMAP accounts and the tray.
    void ApplySettings();
    // On a first start (no account has a server yet) the settings of the
    // first account open over the window; false when there is an account.
    bool OpenAssistantIfNoAccount();
    // IMAP accounts watched for new mail right now.
    int WatchCount() const { return static_cast<int>(m_watches.size()); }

signals:
    // New messages since the last scan: a title and one line per message.
    void NewMailNotified(const QString &title, const QString &text);
    // An account started failing, or works again (text empty then).
    void AccountStateNoticed(const QString &title, const QString &text);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QAction *MakeCommand(int id, const QString &text, const QString &prompt);
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void UpdateCommands();
    void OnAbout();
    void OnSettings();
    void OnScanFinished(int outcome, int mode);
    // waiting: all accounts together; each: one line per account;
    // failing: an account could not be checked.
    void ShowTray(int waiting, const QString &each = QString(), bool failing = false);
    // A notice on the desktop (with buttons where it shows them), else in
    // the tray.
    void Tell(const QString &title, const QString &text, const QStringList &actions, const QString &token);
    // Each account's state after a check: the failing ones (for the
    // status bar), and a notice where that changed on a check nobody
    // started.
    QString UpdateAccountStates();
    void UpdateIndicators();
    void Quit();
    // New mail pushed by a watch of the account in section: a check of it
    // now, or right after the one running.
    void OnPushedMail(const std::string &section);

    const CSettingsStore &m_settings;
    std::string m_executableName;
    long m_lastDone = 0, m_lastTotal = 0;  // the scan's last progress
    QString m_notice;  // the last notice of the running scan, kept past its end
    CPelloruDoc *m_document = nullptr;
    CPelloruView *m_view = nullptr;
    QToolBar *m_toolBar = nullptr;
    QLabel *m_messagePane = nullptr;
    QProgressBar *m_progress = nullptr;
    QLabel *m_indicators[3] = {};
    QTimer *m_checkTimer = nullptr;
    QTimer *m_indicatorTimer = nullptr;
    QSystemTrayIcon *m_tray = nullptr;
    CDesktopNotices *m_notices = nullptr;
    // A button of a notice pressed: "show" the message's row, or "block"
    // its sender. token: the account's section, a line break, the row's key.
    void OnNoticeAction(const QString &token, const QString &action);
    // What each account (by section) had at its last scan.
    std::map<std::string, CNewMail> m_newMail;
    // The accounts (by section) whose last check failed, and why.
    std::map<std::string, std::string> m_failing;
    std::map<int, QAction *> m_commands;
    bool m_quitting = false;
    bool m_closeWhenDone = false;
    std::vector<std::string> m_pushPending;  // sections
    std::vector<std::unique_ptr<CIdleWatch>> m_watches;
};
