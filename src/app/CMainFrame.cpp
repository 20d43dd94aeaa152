// SPDX-License-Identifier: GPL-3.0-or-later
#include "CMainFrame.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDBusConnection>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolBar>

#include "CAboutDlg.h"
#include "CDesktopNotices.h"
#include "CIdleWatch.h"
#include "ScanOutcome.h"
#include "CAccountScans.h"
#include "CNewMail.h"
#include "CScanRowModel.h"
#include "CPelloruDoc.h"
#include "CPelloruView.h"
#include "CScanConfig.h"
#include "CSettingsDlg.h"
#include "CSettingsStore.h"
#include "CommandIds.h"
#include "KeyboardLocks.h"
#include "ScanMode.h"
#include "Ui.h"

CMainFrame::CMainFrame(const CSettingsStore &settings, const std::string &executableName,
                       QWidget *parent)
    : QMainWindow(parent), m_settings(settings), m_executableName(executableName) {
    m_document = new CPelloruDoc(this);
    m_view = new CPelloruView(settings, executableName, this);
    setCentralWidget(m_view);
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    connect(m_view, &CPelloruView::SelectionCountChanged, this, [this] { UpdateCommands(); });
    connect(m_view, &CPelloruView::ScanStarted, this, [this] {
        m_progress->setRange(0, 0);  // busy until the count is known
        m_notice.clear();
        m_progress->show();
        UpdateCommands();
    });
    connect(m_view, &CPelloruView::SavedTo, this, [this](const QString &path) {
        m_messagePane->setText(Ui("app", "Gesichert in %1").arg(QFileInfo(path).absoluteFilePath()));
    });
    connect(m_view, &CPelloruView::Noticed, this, [this](const QString &text) {
        m_notice = text;
        m_messagePane->setText(text);
    });
    connect(m_view, &CPelloruView::ProgressChanged, this, [this](long done, long total) {
        m_lastDone = done;
        m_lastTotal = total;
        m_progress->setRange(0, static_cast<int>(total));
        m_progress->setValue(static_cast<int>(done));
    });
    connect(m_view, &CPelloruView::ScanFinished, this,
            [this](int outcome, int mode, bool) { OnScanFinished(outcome, mode); });
    m_checkTimer = new QTimer(this);
    connect(m_checkTimer, &QTimer::timeout, m_view, [this] {
        if (!m_view->Scanning()) m_view->OnTimedCheck();
    });
    m_notices = new CDesktopNotices(this);
    m_notices->SetBus(QDBusConnection::sessionBus());
    connect(m_notices, &CDesktopNotices::ActionInvoked, this, &CMainFrame::OnNoticeAction);
    UpdateCommands();
    ApplySettings();
    resize(1024, 600);
}

void CMainFrame::OnNoticeAction(const QString &token, const QString &action) {
    const std::string text = token.toStdString();
    const size_t cut = text.find('\n');
    if (cut == std::string::npos) return;
    showNormal();
    raise();
    activateWindow();
    if (!m_view->SelectByKey(text.substr(0, cut), text.substr(cut + 1))) return;
    if (action == QStringLiteral("block")) m_view->OnRuleFromRow(ID_BLOCK_SENDER);
}

// The watches end (and their threads join) before the window goes.
CMainFrame::~CMainFrame() { m_watches.clear(); }

void CMainFrame::OnPushedMail(const std::string &section) {
    if (std::find(m_pushPending.begin(), m_pushPending.end(), section) == m_pushPending.end())
        m_pushPending.push_back(section);
    if (m_view->Scanning()) return;  // after the scan running
    std::vector<std::string> sections;
    sections.swap(m_pushPending);
    m_view->OnPushedCheck(sections);
}

QAction *CMainFrame::Command(int id) const {
    auto found = m_commands.find(id);
    return found == m_commands.end() ? nullptr : found->second;
}

// The prompt's text before "\n" is the status-bar prompt, after it the
// tooltip.
QAction *CMainFrame::MakeCommand(int id, const QString &text, const QString &prompt) {
    auto *action = new QAction(text, this);
    action->setData(id);
    if (!prompt.isEmpty()) {
        const qsizetype cut = prompt.indexOf('\n');
        action->setStatusTip(prompt.left(cut));
        if (cut >= 0) action->setToolTip(prompt.mid(cut + 1));
    }
    m_commands[id] = action;
    return action;
}

void CMainFrame::CreateMenus() {
    QStyle *look = style();
    QAction *check = MakeCommand(ID_CHECK, QStringLiteral("Check"), Ui("app", "Auf Mails prüfen.\nCheck"));
    check->setIcon(look->standardIcon(QStyle::SP_BrowserReload));
    QAction *dryRun = MakeCommand(ID_CHECK_DRY, Ui("app", "Probelauf"),
                                  Ui("app",
                                     "Prüft und zeigt, welche Mails welches Muster löschen würde; nichts wird "
                                     "gelöscht.\nProbelauf"));
    QAction *cancel =
        MakeCommand(ID_CANCEL, Ui("app", "Abbrechen"),
                    Ui("app", "Bricht die Prüfung nach der Mail ab, die gerade gelesen wird.\nAbbrechen"));
    cancel->setIcon(look->standardIcon(QStyle::SP_BrowserStop));
    QAction *settings =
        MakeCommand(ID_SETTINGS, Ui("app", "Einstellungen"), Ui("app", "Mail-Server Einstellungen.\nEinstellungen"));
    settings->setIcon(look->standardIcon(QStyle::SP_FileDialogDetailedView));
    QAction *rules = MakeCommand(ID_RULES, Ui("app", "Regeln..."),
                                 Ui("app", "Muster und Ausnahmen bearbeiten, mit ihren Treffern.\nRegeln"));
    QAction *exit = MakeCommand(ID_APP_EXIT, Ui("app", "&Beenden"), Ui("app", "Beendet das Programm.\nBeenden"));
    QAction *copy = MakeCommand(ID_EDIT_COPY, Ui("app", "&Kopieren\tStrg+C"),
                                Ui("app",
                                   "Kopiert die ausgewählten Zeilen und überträgt sie in die "
                                   "Zwischenablage.\nKopieren"));
    copy->setIcon(look->standardIcon(QStyle::SP_FileDialogContentsView));
    copy->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_C), QKeySequence(Qt::CTRL | Qt::Key_Insert)});
    QAction *remove =
        MakeCommand(ID_DELETE, Ui("app", "Löschen"), Ui("app", "Löscht die ausgewählten Mails.\nLöschen"));
    QAction *save = MakeCommand(ID_SAVE, Ui("app", "In Datei sichern"),
                                Ui("app", "Sichert die ausgewählten Mails vollständig in Dateien.\nIn Datei sichern"));
    QAction *blockSender =
        MakeCommand(ID_BLOCK_SENDER, Ui("app", "Absender sperren"),
                    Ui("app", "Trägt den Absender der Zeile in die Musterdatei ein.\nAbsender sperren"));
    QAction *blockSubject =
        MakeCommand(ID_BLOCK_SUBJECT, Ui("app", "Betreff sperren"),
                    Ui("app", "Trägt den Betreff der Zeile in die Musterdatei ein.\nBetreff sperren"));
    QAction *allowSender =
        MakeCommand(ID_ALLOW_SENDER, Ui("app", "Absender erlauben"),
                    Ui("app",
                       "Trägt den Absender der Zeile in die Ausnahmeliste ein: seine Mails löscht kein "
                       "Muster.\nAbsender erlauben"));
    QAction *about = MakeCommand(ID_APP_ABOUT, Ui("app", "Inf&o über Pelloru..."),
                                 Ui("app", "Zeigt Programm-Informationen, Versionsnummer und Copyright an.\nInfo"));
    about->setIcon(look->standardIcon(QStyle::SP_MessageBoxQuestion));

    QMenu *file = menuBar()->addMenu(Ui("app", "&Datei"));
    file->addAction(check);
    file->addAction(dryRun);
    file->addAction(cancel);
    file->addSeparator();
    file->addAction(settings);
    file->addAction(rules);
    file->addSeparator();
    file->addAction(exit);
    QMenu *edit = menuBar()->addMenu(Ui("app", "&Bearbeiten"));
    edit->addAction(copy);
    edit->addSeparator();
    edit->addAction(remove);
    edit->addSeparator();
    edit->addAction(save);
    edit->addSeparator();
    edit->addAction(blockSender);
    edit->addAction(blockSubject);
    edit->addAction(allowSender);
    QMenu *help = menuBar()->addMenu(QStringLiteral("&?"));
    help->addAction(about);
    // The menus do not highlight a disabled entry; the pointer over one
    // still shows its prompt (eventFilter).
    for (QMenu *menu : {file, edit, help}) {
        menu->installEventFilter(this);
        menu->setMouseTracking(true);
    }

    for (QAction *rule : {blockSender, blockSubject, allowSender}) {
        const int id = rule->data().toInt();
        connect(rule, &QAction::triggered, m_view, [this, id] { m_view->OnRuleFromRow(id); });
    }
    connect(rules, &QAction::triggered, m_view, &CPelloruView::OnRules);
    connect(check, &QAction::triggered, m_view, &CPelloruView::OnCheck);
    connect(dryRun, &QAction::triggered, m_view, &CPelloruView::OnCheckDryRun);
    connect(cancel, &QAction::triggered, m_view, &CPelloruView::OnCancel);
    connect(settings, &QAction::triggered, this, &CMainFrame::OnSettings);
    connect(exit, &QAction::triggered, this, &CMainFrame::Quit);
    connect(copy, &QAction::triggered, m_view, [this] { m_view->OnCopy(ID_EDIT_COPY); });
    connect(remove, &QAction::triggered, m_view, &CPelloruView::OnDelete);
    connect(save, &QAction::triggered, m_view, &CPelloruView::OnSave);
    connect(about, &QAction::triggered, this, &CMainFrame::OnAbout);

    // Ctrl+S saves the rows (the selected ones, else all) as a table with
    // tabs; there is nothing to open, so Ctrl+O does nothing.
    QAction *newDoc = MakeCommand(ID_FILE_NEW, Ui("app", "Neu"), QString());
    newDoc->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    QAction *saveAs = MakeCommand(ID_FILE_SAVE, Ui("app", "Zeilen speichern unter..."), QString());
    saveAs->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    addActions({newDoc, saveAs});
    connect(newDoc, &QAction::triggered, m_document, &CPelloruDoc::OnNewDocument);
    connect(saveAs, &QAction::triggered, this, [this] {
        const QString path = m_document->AskSavePath(this);
        if (path.isEmpty()) return;
        const bool written = m_view->SaveRows(path);
        m_messagePane->setText(written ? Ui("app", "Zeilen gespeichert in %1").arg(QFileInfo(path).absoluteFilePath())
                                       : Ui("app", "Die Datei %1 ließ sich nicht schreiben").arg(path));
    });
}

void CMainFrame::CreateToolBar() {
    m_toolBar = addToolBar(Ui("app", "Standard"));
    m_toolBar->setObjectName(QStringLiteral("toolbar"));
    m_toolBar->setIconSize(QSize(16, 15));
    m_toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    m_toolBar->addAction(Command(ID_CHECK));
    m_toolBar->addAction(Command(ID_CANCEL));
    m_toolBar->addSeparator();
    m_toolBar->addAction(Command(ID_EDIT_COPY));
    m_toolBar->addSeparator();
    m_toolBar->addAction(Command(ID_SETTINGS));
    m_toolBar->addSeparator();
    m_toolBar->addAction(Command(ID_APP_ABOUT));
}

void CMainFrame::CreateStatusBar() {
    m_messagePane = new QLabel(Ui("app", "Bereit"));
    statusBar()->addWidget(m_messagePane, 1);
    m_progress = new QProgressBar;
    m_progress->setFormat(Ui("app", "%v von %m E-Mails"));
    // Wide enough for its longest text on one line, whatever the font.
    m_progress->setMinimumWidth(m_progress->fontMetrics().horizontalAdvance(Ui("app", "999999 von 999999 E-Mails")) +
                                24);
    m_progress->hide();
    statusBar()->addPermanentWidget(m_progress);
    // The lock indicators: lit while the lock is on, where the platform
    // tells; grey otherwise.
    // (Caps lock, num lock, scroll lock, as German keyboards name them.)
    const char *names[] = {TrNoop("app", "UF"), TrNoop("app", "NUM"), TrNoop("app", "RF")};
    for (int i = 0; i < 3; ++i) {
        m_indicators[i] = new QLabel(Ui("app", names[i]));
        m_indicators[i]->setEnabled(false);
        m_indicators[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        statusBar()->addPermanentWidget(m_indicators[i]);
    }
    if (ReadKeyboardLocks().known) {
        m_indicatorTimer = new QTimer(this);
        connect(m_indicatorTimer, &QTimer::timeout, this, &CMainFrame::UpdateIndicators);
        m_indicatorTimer->start(250);
        UpdateIndicators();
    }
}

bool CMainFrame::eventFilter(QObject *watched, QEvent *event) {
    auto *menu = qobject_cast<QMenu *>(watched);
    if (menu != nullptr && event->type() == QEvent::MouseMove) {
        const QAction *action = menu->actionAt(static_cast<QMouseEvent *>(event)->position().toPoint());
        if (action != nullptr && !action->isEnabled() && !action->statusTip().isEmpty())
            statusBar()->showMessage(action->statusTip());
        else if (action == nullptr || action->isSeparator())
            statusBar()->clearMessage();
    }
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::UpdateIndicators() {
    const KeyboardLocks locks = ReadKeyboardLocks();
    if (!locks.known) return;
    m_indicators[0]->setEnabled(locks.capsLock);
    m_indicators[1]->setEnabled(locks.numLock);
    m_indicators[2]->setEnabled(locks.scrollLock);
}

void CMainFrame::UpdateCommands() {
    const bool scanning = m_view->Scanning();
    const bool selection = m_view->SelectedCount() > 0;
    Command(ID_EDIT_COPY)->setEnabled(selection);
    for (int id : {ID_DELETE, ID_SAVE}) Command(id)->setEnabled(selection && !scanning);
    for (int id : {ID_BLOCK_SENDER, ID_BLOCK_SUBJECT, ID_ALLOW_SENDER})
        Command(id)->setEnabled(m_view->SelectedCount() == 1 && !scanning);
    for (int id : {ID_CHECK, ID_CHECK_DRY, ID_SETTINGS, ID_RULES}) Command(id)->setEnabled(!scanning);
    Command(ID_CANCEL)->setEnabled(scanning);
}

int CMainFrame::CheckMinutes() const {
    // The shortest interval of any account that checks on its own.
    int minutes = 0;
    for (const AccountConfig &account : CScanConfig::Load(m_settings))
        if (account.intervalMinutes > 0 && (minutes == 0 || account.intervalMinutes < minutes))
            minutes = account.intervalMinutes;
    return minutes;
}

void CMainFrame::ApplySettings() {
    const int minutes = CheckMinutes();
    if (minutes > 0)
        m_checkTimer->start(minutes * 60 * 1000);
    else
        m_checkTimer->stop();
    // Push where the server offers it; a watch that fails leaves its
    // account to the timer.
    m_watches.clear();
    for (const AccountConfig &account : CScanConfig::Load(m_settings)) {
        if (account.intervalMinutes <= 0 || !CIdleWatch::Watchable(account)) continue;
        const std::string section = account.section;
        m_watches.push_back(std::make_unique<CIdleWatch>(account, [this, section] {
            QMetaObject::invokeMethod(this, [this, section] { OnPushedMail(section); }, Qt::QueuedConnection);
        }));
        m_watches.back()->Start();
    }
    if (m_tray == nullptr && QSystemTrayIcon::isSystemTrayAvailable()) {
        m_tray = new QSystemTrayIcon(QApplication::windowIcon(), this);
        auto *menu = new QMenu(this);
        menu->addAction(Command(ID_CHECK));
        connect(menu->addAction(Ui("app", "Fenster zeigen")), &QAction::triggered, this,
                [this] { showNormal(), raise(), activateWindow(); });
        menu->addSeparator();
        menu->addAction(Command(ID_APP_EXIT));
        m_tray->setContextMenu(menu);
        connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
            if (why == QSystemTrayIcon::Trigger || why == QSystemTrayIcon::DoubleClick)
                isVisible() && !isMinimized() ? hide() : (showNormal(), raise(), activateWindow());
        });
        connect(m_tray, &QSystemTrayIcon::messageClicked, this,
                [this] { showNormal(), raise(), activateWindow(); });
        m_tray->setToolTip(QStringLiteral("Pelloru"));
    }
    if (m_tray != nullptr) m_tray->setVisible(minutes > 0);
}

void CMainFrame::ShowTray(int waiting, const QString &each, bool failing) {
    if (m_tray == nullptr) return;
    // The program's icon with the count on it.
    QPixmap picture = QApplication::windowIcon().pixmap(32, 32);
    if (picture.isNull()) picture = QPixmap(32, 32), picture.fill(Qt::white);
    if (waiting > 0) {
        QPainter painter(&picture);
        QFont font = painter.font();
        font.setBold(true);
        font.setPixelSize(waiting > 99 ? 11 : 16);
        painter.setFont(font);
        const QRect badge(0, 14, 32, 18);
        painter.fillRect(badge, QColor(200, 0, 0));
        painter.setPen(Qt::white);
        painter.drawText(badge, Qt::AlignCenter, waiting > 999 ? QStringLiteral("999+") : QString::number(waiting));
    }
    if (failing) {
        // An account that cannot be checked: a mark in the corner.
        QPainter painter(&picture);
        painter.setBrush(QColor(230, 160, 0));
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(QRect(20, 0, 12, 12));
        painter.setPen(Qt::black);
        QFont font = painter.font();
        font.setBold(true);
        font.setPixelSize(10);
        painter.setFont(font);
        painter.drawText(QRect(20, 0, 12, 12), Qt::AlignCenter, QStringLiteral("!"));
    }
    m_tray->setIcon(QIcon(picture));
    m_tray->setToolTip(Ui("app", "Pelloru: %1 E-Mails").arg(waiting) + each);
}

void CMainFrame::OnScanFinished(int outcome, int mode) {
    m_progress->hide();
    UpdateCommands();
    // What the title and progress no longer say.
    if (outcome == Cancelled)
        m_messagePane->setText(Ui("app", "Abgebrochen nach %1 von %2 E-Mails").arg(m_lastDone).arg(m_lastTotal));
    else if (mode != SaveSelected)
        m_messagePane->setText(m_notice.isEmpty() ? Ui("app", "Bereit") : m_notice);
    // (With several accounts the title keeps the counts of those that worked.)
    if (outcome == ConnectionFailed && m_view->Scans().AccountCount() <= 1)
        setWindowTitle(QString::fromStdString(m_executableName) + Ui("app", " - Verbindung fehlgeschlagen"));
    m_lastDone = m_lastTotal = 0;
    if (!m_pushPending.empty()) {
        QTimer::singleShot(0, this, [this] {
            if (m_view->Scanning() || m_pushPending.empty()) return;
            std::vector<std::string> sections;
            sections.swap(m_pushPending);
            m_view->OnPushedCheck(sections);
        });
    }
    if (mode == List) {
        // Per account: what waits, and what is new since its last scan;
        // notices only for the accounts that want them.
        const CAccountScans &scans = m_view->Scans();
        const bool several = scans.AccountCount() > 1;
        int waiting = 0;
        QString each;
        const QString failures = UpdateAccountStates();
        if (!failures.isEmpty() && outcome != Cancelled) m_messagePane->setText(failures);
        for (int account = 0; account < scans.AccountCount(); ++account) {
            const int outcome = scans.LastOutcome(account);
            if (AccountNotChecked(static_cast<ScanOutcome>(outcome))) {
                each +=
                    Ui("app", "\n%1: gescheitert").arg(QString::fromStdString(scans.Account(account).DisplayName()));
                continue;
            }
            if (outcome != Scanned && outcome != NoMessages &&
                outcome != MessagesFailed)
                continue;
            const CScanRowModel &rows = scans.AccountRows(account);
            const AccountConfig &config = scans.Account(account);
            const int count = CNewMail::Waiting(rows);
            waiting += count;
            if (several) each += QStringLiteral("\n%1: %2").arg(QString::fromStdString(config.DisplayName())).arg(count);
            const std::vector<int> fresh = m_newMail[config.section].NewRows(rows);
            if (fresh.empty() || !config.notify) continue;
            QString title =
                fresh.size() == 1 ? Ui("app", "1 neue E-Mail") : Ui("app", "%1 neue E-Mails").arg(fresh.size());
            if (several) title += Ui("app", " für ") + QString::fromStdString(config.DisplayName());
            const QString text = QString::fromStdString(CNewMail::Summary(rows, fresh));
            emit NewMailNotified(title, text);
            QStringList actions = {QStringLiteral("show"), Ui("app", "Anzeigen")};
            if (fresh.size() == 1) actions << QStringLiteral("block") << Ui("app", "Absender sperren");
            Tell(title, text, actions, QString::fromStdString(config.section + "\n" + rows.RowKey(fresh.front())));
        }
        if (outcome != NotRun) ShowTray(waiting, each, !m_failing.empty());
    }
    if (m_closeWhenDone) close();
}

void CMainFrame::Tell(const QString &title, const QString &text, const QStringList &actions, const QString &token) {
    // With buttons where the desktop shows them, else the tray's balloon.
    if (m_notices->OffersActions())
        m_notices->Show(title, text, actions, token);
    else if (m_tray != nullptr && m_tray->isVisible())
        m_tray->showMessage(title, text, QSystemTrayIcon::Information, 10000);
}

QString CMainFrame::UpdateAccountStates() {
    const CAccountScans &scans = m_view->Scans();
    const bool unattended = m_view->LastRunUnattended();
    QStringList failing;
    for (int account = 0; account < scans.AccountCount(); ++account) {
        const AccountConfig &config = scans.Account(account);
        const QString name = QString::fromStdString(config.DisplayName());
        const bool failed = AccountNotChecked(static_cast<ScanOutcome>(scans.LastOutcome(account)));
        const bool was = m_failing.count(config.section) > 0;
        if (failed) {
            const std::string &problem = scans.Problem(account);
            if (!was || !problem.empty()) m_failing[config.section] = problem;
            const QString reason = QString::fromStdString(m_failing[config.section]);
            failing << Ui("app", "Konto \"%1\" gescheitert%2")
                           .arg(name, reason.isEmpty() ? QString() : ": " + reason.section('\n', 0, 0));
            // Told once when it starts failing; a check the user started
            // said so in its box.
            if (!was && unattended) {
                const QString title = Ui("app", "Konto \"%1\" wird nicht geprüft").arg(name);
                emit AccountStateNoticed(title, reason);
                Tell(title, reason, {}, {});
            }
        } else if (was && scans.LastOutcome(account) != NotRun &&
                   scans.LastOutcome(account) != Cancelled) {
            m_failing.erase(config.section);
            const QString title = Ui("app", "Konto \"%1\" wird wieder geprüft").arg(name);
            emit AccountStateNoticed(title, QString());
            Tell(title, Ui("app", "Die Prüfung gelang wieder."), {}, {});
        }
    }
    return failing.join(QStringLiteral("; "));
}

void CMainFrame::OnSettings() {
    m_view->OnSettings();
    ApplySettings();
}

bool CMainFrame::OpenAssistantIfNoAccount() {
    for (const AccountConfig &account : CScanConfig::Load(m_settings))
        if (!account.host.empty()) return false;
    // A first start: the account to set up, over the empty window.
    auto *assistant = new CSettingsDlg(m_settings, this, CScanConfig::kFirstSection);
    assistant->setAttribute(Qt::WA_DeleteOnClose);
    connect(assistant, &QDialog::accepted, this, [this] {
        m_view->LoadAccounts();
        ApplySettings();
    });
    assistant->open();
    return true;
}

void CMainFrame::Quit() {
    m_quitting = true;
    close();
}

void CMainFrame::closeEvent(QCloseEvent *event) {
    // With the timer on, closing the window leaves the program in the tray.
    if (!m_quitting && m_tray != nullptr && m_tray->isVisible() && m_checkTimer->isActive()) {
        hide();
        event->ignore();
        return;
    }
    if (m_view->Scanning()) {
        // The scan ends after the message in hand, then the window closes.
        m_closeWhenDone = true;
        m_view->OnCancel();
        event->ignore();
        return;
    }
    if (m_tray != nullptr) m_tray->hide();
    event->accept();
}

void CMainFrame::OnAbout() {
    CAboutDlg about(this);
    about.exec();
}
