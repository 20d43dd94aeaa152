// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop shell on Qt's offscreen platform: window structure, command
// enabling, context menu, clipboard, settings dialog, and the program's
// start-up modes run as a separate process.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QHeaderView>
#include <QInputDialog>
#include <QTableWidget>
#include <QListWidget>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTimer>
#include <QScreen>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>

#include <sys/stat.h>

#include <functional>
#include <tuple>
#include <memory>
#include <QProcess>
#include <QRegularExpression>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

#include "BatchMode.h"
#include "CMailboxScan.h"
#include "CMainFrame.h"
#include "CScanRowModel.h"
#include "CPelloruApp.h"
#include "CPelloruView.h"
#include "CAboutDlg.h"
#include "CDesktopNotices.h"
#include "CAccountsDlg.h"
#include "CScanConfig.h"
#include "CScanRowModel.h"
#include "CRulesDlg.h"
#include "CSettingsDlg.h"
#include "CSettingsStore.h"
#include "CommandIds.h"
#include "DovecotServer.h"
#include "IntrospectionServer.h"
#include "Language.h"
#include "ScriptedServer.h"
#include "TestCertificates.h"
#include "TestFiles.h"
#include "Translate.h"

// Fails the test in CI, skips it elsewhere, where Dovecot cannot run.
#define REQUIRE_DOVECOT_QT(imap)                                            \
    do {                                                                    \
        const std::string why_ = imap ? DovecotServer::ImapUnavailable()   \
                                      : DovecotServer::Unavailable();      \
        if (!why_.empty()) {                                                \
            if (qEnvironmentVariableIsSet("CI")) QFAIL(why_.c_str());       \
            QSKIP(why_.c_str());                                            \
        }                                                                   \
    } while (false)

namespace {

QStringList Entries(QMenu *menu) {
    QStringList texts;
    for (QAction *action : menu->actions())
        texts << (action->isSeparator() ? QStringLiteral("|") : action->text());
    return texts;
}

std::string TopReply(const std::string &message) { return "+OK\r\n" + message + ".\r\n"; }

}  // namespace

// The desktop's notification service, as far as a notice with buttons
// needs it; it keeps what it was asked to show.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    static constexpr uint kId = 7;
    QString summary, body;
    QStringList actions;
    int expires = -2;
public slots:
    QStringList GetCapabilities() { return {QStringLiteral("body"), QStringLiteral("actions")}; }
    uint Notify(const QString &, uint, const QString &, const QString &title, const QString &text,
                const QStringList &buttons, const QVariantMap &, int timeout) {
        summary = title;
        body = text;
        expires = timeout;
        actions = buttons;
        return kId;
    }
};

// The system browser, for "Im Browser anmelden": the address goes to
// tests/support/browser.py, which signs in and follows the redirect.
class TestBrowser : public QObject {
    Q_OBJECT
public:
    QString caFile;
    QStringList opened;
public slots:
    void Open(const QUrl &url) {
        opened << url.toString();
        QProcess browser;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PELLORU_TEST_CA", caFile);
        browser.setProcessEnvironment(env);
        browser.setProgram(QStringLiteral("python3"));
        browser.setArguments({QStringLiteral(PELLORU_SUPPORT_DIR "/browser.py"), url.toString()});
        browser.startDetached();
    }
};

class ShellTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_config;
    std::unique_ptr<CSettingsStore> m_settings;

    void Fill(CPelloruView *view, int rows) {
        for (int row = 0; row < rows; ++row) {
            view->InsertRow(row, "a" + std::to_string(row) + "@example.org", "");
            for (int column = 1; column < 6; ++column)
                view->SetCellText(row, column, "r" + std::to_string(row) + "c" + std::to_string(column), "");
        }
    }

    QProcessEnvironment Environment(bool display) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", m_config.path());
        env.insert("XDG_RUNTIME_DIR", m_config.path());
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        // German, the language the texts are compared in, whatever the
        // locale of whoever runs the tests.
        env.remove("LC_ALL");
        env.remove("LC_MESSAGES");
        env.insert("LANG", "C.UTF-8");
        if (display)
            env.insert("QT_QPA_PLATFORM", "offscreen");
        else
            env.remove("QT_QPA_PLATFORM");
        return env;
    }

    void PointAt(const ScriptedServer &server) {
        m_settings->Write("HOST", "127.0.0.1:" + std::to_string(server.Port()));
        m_settings->Write("USER", "user");
        m_settings->Write("PASS", CSettingsStore::ComplementPassword("secret"));
    }

    // cached: the message is known from an earlier scan, no TOP is sent.
    static void Script(ScriptedServer &server, bool cached = false) {
        server.LogOn()
            .Expect("CAPA\r\n").Send("+OK\r\nPIPELINING\r\n.\r\n")
            .Expect("STAT\r\n").Expect("LIST\r\n").Expect("UIDL\r\n")
            .Send("+OK 1 100\r\n+OK\r\n1 100\r\n.\r\n+OK\r\n1 u1\r\n.\r\n");
        if (!cached)
            server.Expect("TOP 1 25\r\n")
                .Send(TopReply("From: Anna <anna@example.de>\r\nSubject: Hallo\r\n"
                               "Message-Id: <m1@example.de>\r\n\r\nText\r\n"));
        server.Expect("Quit\r\n");
    }

    struct Box {
        QString text, detail;
    };

    // A message box on the screen, if there is one.
    static QMessageBox *OpenBox() {
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (auto *box = qobject_cast<QMessageBox *>(widget); box != nullptr && box->isVisible()) return box;
        return nullptr;
    }

    // One Check in a window of its own, run to its end; the message box it
    // showed (closed at once), if any.
    Box CheckInWindow(CMainFrame **keep = nullptr) {
        auto *frame = new CMainFrame(*m_settings, "pelloru");
        frame->View()->OnInitialUpdate();
        Box box;
        QTimer closer;
        connect(&closer, &QTimer::timeout, [&box] {
            if (QMessageBox *shown = OpenBox()) {
                box = {shown->text(), shown->detailedText()};
                shown->close();
            }
        });
        closer.start(20);
        QSignalSpy done(frame->View(), &CPelloruView::ScanFinished);
        frame->View()->OnCheck();
        if (!done.wait(60000)) qWarning("the scan did not end");
        // (A box does not hold the scans: it may still be open now.)
        QCoreApplication::processEvents();
        if (QMessageBox *shown = OpenBox()) {
            box = {shown->text(), shown->detailedText()};
            shown->close();
        }
        if (keep != nullptr)
            *keep = frame;
        else
            delete frame;
        return box;
    }

    // A scripted mailbox of these messages (number, Message-Id), each
    // answered at once, for one connection; the first `known` of them are
    // known from an earlier scan (no TOP).
    static void Mailbox(ScriptedServer &server, const std::vector<int> &numbers, size_t known = 0,
                        const std::string &subject = "Nummer ") {
        std::string stat = "+OK " + std::to_string(numbers.size()) + " 100\r\n";
        std::string list = "+OK\r\n", uidl = "+OK\r\n";
        for (size_t i = 0; i < numbers.size(); ++i) {
            list += std::to_string(i + 1) + " 100\r\n";
            uidl += std::to_string(i + 1) + " u" + std::to_string(numbers[i]) + "\r\n";
        }
        server.LogOn()
            .Expect("CAPA\r\n").Send("+OK\r\n.\r\n")
            .Expect("STAT\r\n").Send(stat)
            .Expect("LIST\r\n").Send(list + ".\r\n")
            .Expect("UIDL\r\n").Send(uidl + ".\r\n");
        for (size_t i = known; i < numbers.size(); ++i) {
            const std::string n = std::to_string(numbers[i]);
            server.Expect("TOP " + std::to_string(i + 1) + " 25\r\n")
                .Send(TopReply("From: Absender " + n + " <a" + n + "@example.de>\r\nSubject: " + subject +
                               n + "\r\nMessage-Id: <m" + n + "@example.de>\r\n\r\nText\r\n"));
        }
        server.Expect("Quit\r\n");
    }

    // Why a real Secret Service (gnome-keyring in a private D-Bus session)
    // and Dovecot (with IMAP where asked) cannot be had here; empty: they can.
    static QString NoKeyringOrDovecot(bool imap) {
        if (QStandardPaths::findExecutable("dbus-run-session").isEmpty() ||
            QStandardPaths::findExecutable("gnome-keyring-daemon").isEmpty())
            return QStringLiteral("no dbus-run-session or gnome-keyring-daemon");
        return QString::fromStdString(DovecotServer::Unavailable() + (imap ? DovecotServer::ImapUnavailable() : ""));
    }

    struct Ran {
        int status = -1;
        QString out, said;
    };
    // Runs the script with bash in a private D-Bus session, the keyring
    // unlocked first, at most seconds long.
    static Ran RunWithKeyring(const QString &script, const QProcessEnvironment &env, int seconds) {
        QProcess session;
        session.setProcessEnvironment(env);
        session.start("dbus-run-session",
                      {"--", "bash", "-c",
                       "set -e\neval \"$(printf x | gnome-keyring-daemon --unlock --components=secrets)\"\n" + script});
        Ran ran;
        if (!session.waitForFinished(seconds * 1000)) return ran;
        ran.status = session.exitCode();
        ran.out = QString::fromUtf8(session.readAllStandardOutput());
        ran.said = QString::fromUtf8(session.readAllStandardError());
        return ran;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
        qputenv("XDG_CACHE_HOME", (m_config.path() + "/cache").toUtf8());
        // No test writes to the keyring of whoever runs them: those that
        // need one start their own.
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        m_settings = std::make_unique<CSettingsStore>("pelloru");
        BatchMode = 0;
    }

    void windowStructure() {
        CMainFrame frame(*m_settings, "pelloru");
        frame.View()->OnInitialUpdate();
        QList<QAction *> menus = frame.menuBar()->actions();
        QCOMPARE(menus.size(), 3);
        QCOMPARE(menus[0]->text(), QStringLiteral("&Datei"));
        QCOMPARE(menus[1]->text(), QStringLiteral("&Bearbeiten"));
        QCOMPARE(menus[2]->text(), QStringLiteral("&?"));
        QCOMPARE(Entries(menus[0]->menu()),
                 QStringList({"Check", "Probelauf", "Abbrechen", "|", "Einstellungen", "Regeln...", "|",
                              "&Beenden"}));
        QCOMPARE(Entries(menus[1]->menu()),
                 QStringList({"&Kopieren\tStrg+C", "|", "Löschen", "|", "In Datei sichern", "|",
                              "Absender sperren", "Betreff sperren", "Absender erlauben"}));
        QCOMPARE(Entries(menus[2]->menu()), QStringList({"Inf&o über Pelloru..."}));

        QStringList bar;
        for (QAction *action : frame.ToolBar()->actions())
            bar << (action->isSeparator() ? QStringLiteral("|") : action->data().toString());
        QCOMPARE(bar, QStringList({"32771", "32776", "|", "57634", "|", "32774", "|", "57664"}));
        QCOMPARE(frame.Command(ID_CHECK)->statusTip(), QStringLiteral("Auf Mails prüfen."));
        QCOMPARE(frame.Command(ID_CHECK)->toolTip(), QStringLiteral("Check"));
        QCOMPARE(frame.Command(ID_EDIT_COPY)->toolTip(), QStringLiteral("Kopieren"));
        QCOMPARE(frame.Command(ID_EDIT_COPY)->shortcuts().size(), 2);
        QCOMPARE(frame.MessagePane()->text(), QStringLiteral("Bereit"));
        // Ctrl+S saves rows; nothing opens with Ctrl+O.
        for (QAction *action : frame.actions())
            QVERIFY(!action->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_O)));
        QCOMPARE(frame.Command(ID_FILE_SAVE)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
        QVERIFY(CAboutDlg().findChild<QLabel *>("copyright") != nullptr);
        QVERIFY(CAboutDlg().findChild<QLabel *>("license")->text().contains(QStringLiteral("GPL-3.0-or-later")));
        {
            CSettingsDlg editor(*m_settings, nullptr, CScanConfig::kFirstSection);
            editor.IntervalEdit()->setValue(1);
            QCOMPARE(editor.findChild<QLabel *>("unit")->text(), QStringLiteral("Minute prüfen"));
            editor.IntervalEdit()->setValue(5);
            QCOMPARE(editor.findChild<QLabel *>("unit")->text(), QStringLiteral("Minuten prüfen"));
        }

        CPelloruView *view = frame.View();
        // Six columns; the seventh, "Konto", shows only with several accounts.
        QCOMPARE(view->model()->columnCount(), 7);
        QVERIFY(view->header()->isSectionHidden(6));
        const QStringList titles = {"E-Mail", "Name", "Größe", "Betreff", "Text", "ID"};
        const int widths[] = {150, 150, 80, 300, 400, 200};
        for (int column = 0; column < 6; ++column) {
            QCOMPARE(view->model()->headerData(column, Qt::Horizontal).toString(), titles[column]);
            QCOMPARE(view->columnWidth(column), widths[column]);
        }
        QCOMPARE(view->selectionMode(), QAbstractItemView::ExtendedSelection);
    }

    void commandsNeedASelection() {
        CMainFrame frame(*m_settings, "pelloru");
        frame.View()->OnInitialUpdate();
        Fill(frame.View(), 2);
        for (int id : {ID_EDIT_COPY, ID_DELETE, ID_SAVE}) QVERIFY(!frame.Command(id)->isEnabled());
        QVERIFY(frame.Command(ID_CHECK)->isEnabled());
        QVERIFY(frame.Command(ID_SETTINGS)->isEnabled());
        frame.View()->SelectRow(1, true);
        for (int id : {ID_EDIT_COPY, ID_DELETE, ID_SAVE}) QVERIFY(frame.Command(id)->isEnabled());
        frame.View()->clearSelection();
        QVERIFY(!frame.Command(ID_EDIT_COPY)->isEnabled());
    }

    void contextMenuCutsLongCellsAndCopiesThemWhole() {
        CMainFrame frame(*m_settings, "pelloru");
        frame.show();
        CPelloruView *view = frame.View();
        view->OnInitialUpdate();
        Fill(view, 3);
        const std::string longText(150, 'L');
        view->SetCellText(1, 3, longText, "");
        view->SelectRow(0, true);
        QVERIFY(QTest::qWaitForWindowExposed(&frame));

        // Below the last row: no menu.
        view->OpenContextMenu(QPoint(10, view->viewport()->height() - 2));
        QVERIFY(view->LastContextMenu() == nullptr);

        const QRect cell = view->visualRect(view->model()->index(1, 3));
        view->OpenContextMenu(cell.center());
        QMenu *menu = view->LastContextMenu();
        QVERIFY(menu != nullptr);
        QCOMPARE(Entries(menu),
                 QStringList({"Kopieren selektierte", "Sichern selektierte",
                              "Kopieren: " + QString(100, 'L') + "...", "|",
                              "Löschen selektierte", "|", "Absender sperren", "Betreff sperren",
                              "Absender erlauben"}));
        // The row is selected and focused; the other selection stays.
        QVERIFY(view->IsRowSelected(1));
        QVERIFY(view->IsRowSelected(0));
        QCOMPARE(view->currentIndex().row(), 1);
        menu->actions()[2]->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), QString(150, 'L'));
        menu->close();
    }

    void copyingRowsLeavesOutTheIdColumn() {
        CMainFrame frame(*m_settings, "pelloru");
        CPelloruView *view = frame.View();
        view->OnInitialUpdate();
        Fill(view, 4);
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        view->OnCopy(ID_EDIT_COPY);  // nothing selected: clipboard untouched
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
        for (int row : {0, 2, 3}) view->SelectRow(row, true);
        frame.Command(ID_EDIT_COPY)->trigger();
        const QString text = QGuiApplication::clipboard()->text();
        const QStringList lines = text.split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 5 + 1 + 5 + 1 + 5 + 1);  // the last line ends too
        QCOMPARE(lines[0], QStringLiteral("a0@example.org"));
        QCOMPARE(lines[4], QStringLiteral("r0c4"));
        QCOMPARE(lines[5], QString());
        QCOMPARE(lines[6], QStringLiteral("a2@example.org"));
        QCOMPARE(lines[16], QStringLiteral("r3c4"));
        QVERIFY(!text.contains(QStringLiteral("c5")));
    }

    void cellsKeepTheirBytes() {
        CMainFrame frame(*m_settings, "pelloru");
        CPelloruView *view = frame.View();
        view->OnInitialUpdate();
        view->InsertRow(0, "x", "");
        view->SetCellText(0, 3, " Gr\xFC\xDF" "e", "iso-8859-1");
        view->SetCellText(0, 5, " <id\xE4@x>", "");
        QCOMPARE(view->ShownCell(0, 3), QStringLiteral(" Grüße"));
        QCOMPARE(view->CellText(0, 3), std::string(" Gr\xFC\xDF" "e"));
        QCOMPARE(view->ShownCell(0, 5), QStringLiteral(" <idä@x>"));  // Windows-1252
        QCOMPARE(view->CellText(0, 5), std::string(" <id\xE4@x>"));
    }

    void settingsDialogWritesOnOkOnly() {
        QTemporaryDir dir;
        qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
        CSettingsStore store("pelloru");
        store.Write("HOST", "old.example.net");
        {
            CSettingsDlg dialog(store);
            QCOMPARE(dialog.windowTitle(), QStringLiteral("Einstellungen"));
            QCOMPARE(dialog.ServerEdit()->text(), QStringLiteral("old.example.net"));
            QCOMPARE(dialog.PasswordEdit()->echoMode(), QLineEdit::Password);
            QVERIFY(dialog.OkButton()->isDefault());
            QCOMPARE(dialog.CancelButton()->text(), QStringLiteral("Abbrechen"));
            dialog.ServerEdit()->setText(QStringLiteral("new.example.net"));
            dialog.UserEdit()->setText(QStringLiteral("ich"));
            dialog.PasswordEdit()->setText(QStringLiteral("geheim"));
            dialog.CancelButton()->click();
        }
        QCOMPARE(store.Read("HOST"), std::string("old.example.net"));
        QCOMPARE(store.Read("USER"), std::string());
        {
            CSettingsDlg dialog(store);
            dialog.ServerEdit()->setText(QStringLiteral("pop.example.net:1100"));
            dialog.UserEdit()->setText(QStringLiteral("ich"));
            dialog.PasswordEdit()->setText(QStringLiteral("geheim"));
            dialog.OkButton()->click();
        }
        QCOMPARE(store.Read("HOST"), std::string("pop.example.net:1100"));
        QCOMPARE(store.Read("USER"), std::string("ich"));
        QCOMPARE(CSettingsStore::ComplementPassword(store.Read("PASS")), std::string("geheim"));
        QVERIFY(store.Read("PASS") != "geheim");
        {
            CSettingsDlg dialog(store);  // opens with what is stored
            QCOMPARE(dialog.PasswordEdit()->text(), QStringLiteral("geheim"));
            // An address of a known provider fills in server and user name.
            dialog.AddressEdit()->setText(QStringLiteral("anna@web.de"));
            emit dialog.AddressEdit()->editingFinished();
            QCOMPARE(dialog.ServerEdit()->text(), QStringLiteral("imaps://imap.web.de:993"));
            QCOMPARE(dialog.UserEdit()->text(), QStringLiteral("anna@web.de"));
            dialog.ServerEdit()->setText(QStringLiteral("pop.example.net:1100"));
            dialog.UserEdit()->setText(QStringLiteral("ich"));
            // It fits the screen, its buttons in view, and can be resized.
            dialog.show();
            const QRect screen = dialog.screen()->availableGeometry();
            QVERIFY2(dialog.height() <= screen.height(), qPrintable(QString::number(dialog.height())));
            QVERIFY(dialog.rect().contains(QRect(dialog.OkButton()->mapTo(&dialog, QPoint()), dialog.OkButton()->size())));
            QVERIFY(dialog.isSizeGripEnabled());
            // "nie prüfen", not "alle nie Minuten prüfen".
            QCOMPARE(dialog.findChild<QLabel *>("every")->text(), QString());
            // Until picked, what happens to matches follows the server, and
            // stays unset: an IMAP account moves them to the spam folder.
            auto *matches = dialog.findChildren<QComboBox *>().last();
            QCOMPARE(matches->currentData().toString(), QStringLiteral("delete"));
            dialog.ServerEdit()->setText(QStringLiteral("imaps://imap.example.net"));
            QCOMPARE(matches->currentData().toString(), QStringLiteral("move"));
            dialog.OkButton()->click();
        }
        QCOMPARE(store.Read("MATCHES"), std::string());
        QVERIFY(CScanConfig::LoadSection(store, CScanConfig::kFirstSection).MovesToSpam());
        qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
    }

    // An address of a provider that takes OAuth 2.0 offers "Im Browser
    // anmelden"; the browser signs in (PKCE checked by the provider) and
    // the refresh token has to go to the keyring: without one (no session
    // bus in this process), it says so.
    void theSettingsSignInInTheBrowser() {
        TestCertificates certificates;
        QVERIFY2(certificates.Ok(), certificates.Error().c_str());
        IntrospectionServer provider(certificates.Certificate("server"), certificates.Key("server"));
        QVERIFY(provider.TlsPort() > 0);
        QFile table(m_config.path() + "/askeven/providers.tsv");
        QVERIFY(QDir().mkpath(m_config.path() + "/askeven") && table.open(QIODevice::WriteOnly));
        table.write(QStringLiteral("browser.test\t127.0.0.1:993\t\tlocalpart\toauth\thttps://localhost:%1/authorize\t"
                                   "https://localhost:%1/token\t\tmail\t\n")
                        .arg(provider.TlsPort())
                        .toUtf8());
        table.close();
        TestBrowser browser;
        browser.caFile = QString::fromStdString(certificates.CaFile());
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &browser, "Open");
        {
            CSettingsDlg dialog(*m_settings, nullptr, "Account77");
            QVERIFY(!dialog.SignInButton()->isVisibleTo(&dialog));
            dialog.AddressEdit()->setText(QStringLiteral("pelloru@browser.test"));
            emit dialog.AddressEdit()->editingFinished();
            QCOMPARE(dialog.OAuthProviderEdit()->text(), QStringLiteral("browser.test"));
            QVERIFY(dialog.SignInButton()->isVisibleTo(&dialog));
            // The table names no application: the account needs its own.
            QSignalSpy finished(&dialog, &CSettingsDlg::SignInFinished);
            dialog.SignInButton()->click();
            QVERIFY(finished.wait(20000));
            QVERIFY2(dialog.TestResult().contains(QStringLiteral("OAUTHCLIENT")), qPrintable(dialog.TestResult()));
            QVERIFY(browser.opened.isEmpty());
            for (QLineEdit *edit : dialog.findChildren<QLineEdit *>())
                if (edit->placeholderText().startsWith(QStringLiteral("Client-ID"))) edit->setText("pelloru-test");
            dialog.CaFileEdit()->setText(browser.caFile);
            dialog.SignInButton()->click();
            QVERIFY2(finished.wait(30000), qPrintable(dialog.TestResult() + QString::fromStdString(provider.Control("/stats"))));
            QCOMPARE(browser.opened.size(), 1);
            QVERIFY(browser.opened[0].contains(QStringLiteral("code_challenge_method=S256")));
            QVERIFY(QString::fromStdString(provider.Control("/stats")).contains(QStringLiteral("\"code\": 1")));
            // Signed in, but with no keyring here nowhere to keep it: it says so.
            QVERIFY(!finished.last().at(0).toBool());
            QVERIFY2(dialog.TestResult().contains(QStringLiteral("Schlüsselbund")), qPrintable(dialog.TestResult()));
        }
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QFile::remove(table.fileName());
    }

    // A certificate nothing vouches for: "Verbindung testen" shows it and
    // offers to trust it for this account; trusted, the test passes and OK
    // stores its fingerprint.
    void aCertificateCanBeTrustedForItsAccount() {
        TestCertificates certificates;
        QVERIFY2(certificates.Ok(), certificates.Error().c_str());
        ScriptedServer server;
        server.EnableTls(certificates.Certificate("server"), certificates.Key("server"));
        server.Send("+OK ready\r\n");  // never read: the client refuses the certificate
        Mailbox(server.NextConnection(), {});
        server.Start();
        QTemporaryDir dir;
        qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
        CSettingsStore store("pelloru");
        {
            CSettingsDlg dialog(store);
            dialog.ServerEdit()->setText(QString::fromStdString("pop3s://127.0.0.1:" + std::to_string(server.Port())));
            dialog.UserEdit()->setText(QStringLiteral("user"));
            dialog.PasswordEdit()->setText(QStringLiteral("secret"));
            QSignalSpy tested(&dialog, &CSettingsDlg::TestFinished);
            dialog.TestButton()->click();
            QVERIFY(tested.wait(30000));
            QVERIFY2(dialog.TestResult().contains(QStringLiteral("SHA-256")), qPrintable(dialog.TestResult()));
            QVERIFY(!dialog.TrustButton()->isHidden());
            dialog.TrustButton()->click();
            QVERIFY(tested.wait(30000));
            QVERIFY2(dialog.TestResult().startsWith(QStringLiteral("Verbunden")), qPrintable(dialog.TestResult()));
            QCOMPARE(dialog.FingerprintEdit()->text().size(), 95);
            dialog.OkButton()->click();
        }
        QCOMPARE(store.Read("FINGERPRINT").size(), size_t(95));
        server.Finish();
        qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
    }

    // A first start without any account opens the account's settings
    // over the window; with an account it does not.
    void aFirstStartOpensTheAssistant() {
        QTemporaryDir dir;
        qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
        CSettingsStore store("pelloru");
        for (const bool configured : {false, true}) {
            if (configured) store.Write("HOST", "pop.example.net");
            CMainFrame frame(store, "pelloru");
            QCOMPARE(frame.OpenAssistantIfNoAccount(), !configured);
            CSettingsDlg *assistant = frame.findChild<CSettingsDlg *>();
            QCOMPARE(assistant != nullptr && assistant->isVisible(), !configured);
            if (assistant != nullptr) assistant->reject();
        }
        qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
    }

    void startUpSwitches() {
        QVERIFY(CPelloruApp::IsBatchSwitch("/b"));
        QVERIFY(CPelloruApp::IsBatchSwitch("/batch"));
        QVERIFY(CPelloruApp::IsBatchSwitch("/bx"));
        QVERIFY(!CPelloruApp::IsBatchSwitch("/B"));
        QVERIFY(!CPelloruApp::IsBatchSwitch(" /b"));
        QVERIFY(!CPelloruApp::IsBatchSwitch("-b"));
        QVERIFY(!CPelloruApp::IsBatchSwitch(""));
        QCOMPARE(CPelloruApp::ExecutableName("/usr/bin/pelloru"), std::string("pelloru"));
        QCOMPARE(CPelloruApp::ExecutableName("C/x/Pelloru.exe"), std::string("Pelloru"));
    }

    void batchRunEndsWithoutTheUser() {
        ScriptedServer server;
        Script(server);
        PointAt(server);
        server.Start();
        QProcess program;
        program.setProcessEnvironment(Environment(true));
        program.start(PELLORU_BINARY, {"/b"});
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitCode(), 0);
        server.Finish();
        QVERIFY(server.Failures().empty());
        QVERIFY(server.Received().find("Quit\r\n") != std::string::npos);
    }

    void upperCaseBIsNoBatchRun() {
        ScriptedServer server;  // must see no connection
        PointAt(server);
        QProcess program;
        program.setProcessEnvironment(Environment(true));
        program.start(PELLORU_BINARY, {"/B"});
        // An option it does not know: refused, nothing scanned.
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitCode(), CPelloruApp::kExitUsage);
        QCOMPARE(server.Connections(), 0);
    }

    void headlessRunsNeedNoDisplay() {
        ScriptedServer server;
        Script(server);
        server.NextConnection();
        Script(server, true);
        PointAt(server);
        server.Start();
        QProcess batch;
        batch.setProcessEnvironment(Environment(false));
        batch.start(PELLORU_BINARY, {"/b"});
        QVERIFY(batch.waitForFinished(30000));
        QCOMPARE(batch.exitCode(), 0);

        QProcess list;
        list.setProcessEnvironment(Environment(false));
        list.start(PELLORU_BINARY, {"--list"});
        QVERIFY(list.waitForFinished(30000));
        QCOMPARE(list.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(list.readAllStandardOutput()),
                 QStringLiteral("anna@example.de\t Anna \t100\t Hallo\tText\t <m1@example.de>\n"));
        server.Finish();
        QVERIFY(server.Failures().empty());

        // No server at all: the exit status tells.
        m_settings->Write("HOST", "127.0.0.1:" + std::to_string(FindClosedPort()));
        QProcess failed;
        failed.setProcessEnvironment(Environment(false));
        failed.start(PELLORU_BINARY, {"/b"});
        QVERIFY(failed.waitForFinished(60000));
        QCOMPARE(failed.exitCode(), CPelloruApp::kExitLogOnFailed);
    }

    // An unattended run says on standard error, escaped, why a rule file
    // was not used (and still lists, not waiting on a FIFO), and what
    // failed, naming the account as a terminal can show it.
    void unattendedRunsSayWhatTheyDidNotUse() {
        ScriptedServer server;
        Script(server);
        PointAt(server);
        const std::string second = CScanConfig::FreeSection(*m_settings);
        m_settings->Write(second, "NAME", "x\x1b[2J\xe2\x80\xae");
        m_settings->Write(second, "HOST", "127.0.0.1:" + std::to_string(FindClosedPort()));
        server.Start();
        QTemporaryDir work;
        QCOMPARE(::mkfifo((work.path() + "/loesche_direkt.txt").toLocal8Bit().constData(), 0600), 0);
        QProcess list;
        list.setWorkingDirectory(work.path());
        list.setProcessEnvironment(Environment(false));
        list.start(PELLORU_BINARY, {"--list"});
        QVERIFY(list.waitForFinished(60000));
        QCOMPARE(list.exitCode(), CPelloruApp::kExitLogOnFailed);
        QVERIFY(QString::fromUtf8(list.readAllStandardOutput()).contains(QStringLiteral("anna@example.de")));
        const QByteArray errors = list.readAllStandardError();
        QVERIFY2(!errors.contains('\x1b') && !errors.contains("\xe2\x80\xae"), errors.constData());
        QVERIFY2(errors.contains("Konto \"x\\x1b[2J\\u202e\""), errors.constData());
        QVERIFY2(errors.contains("Die Regeldatei loesche_direkt.txt wird nicht verwendet: sie ist eine benannte Pipe"),
                 errors.constData());
        server.Finish();
        QVERIFY(server.Failures().empty());
        m_settings->RemoveSection(second);
    }

    void scansOverTlsFromTheWindowAndHeadless() {
        REQUIRE_DOVECOT_QT(false);
        TestCertificates certificates;
        QVERIFY2(certificates.Ok(), certificates.Error().c_str());
        DovecotServer server;
        server.EnableTls(certificates.Certificate("server"), certificates.Key("server"));
        std::string error;
        QVERIFY2(server.Start(&error), error.c_str());
        for (const std::string &path : SampleMessages()) QVERIFY(server.AddMessage(ReadBinaryFile(path)));
        m_settings->Write("HOST", "pop3s://127.0.0.1:" + std::to_string(server.TlsPort()));
        m_settings->Write("USER", DovecotServer::kUser);
        m_settings->Write("PASS", CSettingsStore::ComplementPassword(DovecotServer::kPassword));
        m_settings->Write("CAFILE", certificates.CaFile());

        QProcess window;
        window.setProcessEnvironment(Environment(true));
        window.start(PELLORU_BINARY, {"/b"});
        QVERIFY(window.waitForFinished(60000));
        QCOMPARE(window.exitCode(), 0);

        m_settings->Write("HOST", "pop3+stls://localhost:" + std::to_string(server.Port()));
        QProcess list;
        list.setProcessEnvironment(Environment(false));
        list.start(PELLORU_BINARY, {"--list"});
        QVERIFY(list.waitForFinished(60000));
        QCOMPARE(list.exitCode(), 0);
        const QStringList rows = QString::fromUtf8(list.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(rows.size(), 8);
        QVERIFY(rows[1].contains(QStringLiteral("Jürgen Müller")));
        m_settings->Write("CAFILE", "");
    }

    void unknownOptionsAreRefusedBeforeAnyConnection() {
        ScriptedServer server;  // must see no connection
        PointAt(server);
        const QList<QStringList> calls = {{"--list", "--dry"}, {"--bogus"}, {"/b", "extra"},
                                          {"-x"}, {"--list", "/b"}, {"--dry-run"},
                                          {"--configure", "--dry-run"}, {"--debug"},
                                          {"--list", "--debug", "--debug"}};
        for (const QStringList &arguments : calls) {
            QProcess program;
            program.setProcessEnvironment(Environment(false));
            program.start(PELLORU_BINARY, arguments);
            QVERIFY(program.waitForFinished(30000));
            QCOMPARE(program.exitCode(), CPelloruApp::kExitUsage);
            QVERIFY(program.readAllStandardError().contains("Aufruf"));
        }
        QCOMPARE(server.Connections(), 0);
    }

    // German unless the locale asks for English (LC_ALL, else LC_MESSAGES,
    // else LANG, the first that is set): the help, a failing check's
    // reason and the window, with no German word left in the English.
    void theLanguageFollowsTheLocale() {
        m_settings->Write("HOST", "127.0.0.1:" + std::to_string(FindClosedPort()));
        m_settings->Write("USER", "user");
        m_settings->Write("PASS", CSettingsStore::ComplementPassword("secret"));
        const struct {
            const char *lcAll, *lcMessages, *lang;
            bool english;
        } cases[] = {
            {nullptr, nullptr, nullptr, false},
            {nullptr, nullptr, "de_DE.UTF-8", false},
            {nullptr, nullptr, "fr_FR.UTF-8", false},
            {nullptr, nullptr, "en_US.UTF-8", true},
            {nullptr, "en_GB.UTF-8", "de_DE.UTF-8", true},
            {"de_DE.UTF-8", "en_GB.UTF-8", "en_US.UTF-8", false},
            {"", nullptr, "en_US.UTF-8", true},
        };
        const QRegularExpression umlaut(QStringLiteral("[äöüÄÖÜß]"));
        for (const auto &each : cases) {
            QProcessEnvironment env = Environment(false);
            for (const auto &[name, value] :
                 {std::pair{"LC_ALL", each.lcAll}, std::pair{"LC_MESSAGES", each.lcMessages},
                  std::pair{"LANG", each.lang}}) {
                if (value == nullptr)
                    env.remove(name);
                else
                    env.insert(name, value);
            }
            const QString label = QString::fromUtf8(each.lang != nullptr ? each.lang : "unset") +
                                  (each.lcMessages != nullptr ? QStringLiteral(" +LC_MESSAGES") : QString()) +
                                  (each.lcAll != nullptr ? QStringLiteral(" +LC_ALL") : QString());
            QProcess help;
            help.setProcessEnvironment(env);
            help.start(PELLORU_BINARY, {"--help"});
            QVERIFY(help.waitForFinished(30000));
            const QString usage = QString::fromUtf8(help.readAllStandardOutput());
            QVERIFY2(usage.startsWith(each.english ? "Usage: pelloru" : "Aufruf: pelloru"), qPrintable(label));
            QProcess list;
            list.setProcessEnvironment(env);
            list.start(PELLORU_BINARY, {"--list"});
            QVERIFY(list.waitForFinished(60000));
            QCOMPARE(list.exitCode(), CPelloruApp::kExitLogOnFailed);
            const QString failure = QString::fromUtf8(list.readAllStandardError());
            QVERIFY2(failure.contains(each.english ? "refused the connection (no POP3 service on this port)"
                                                   : "hat die Verbindung abgelehnt (kein POP3-Dienst an diesem Port)"),
                     qPrintable(label + ": " + failure));
            if (each.english) QVERIFY2(!usage.contains(umlaut) && !failure.contains(umlaut), qPrintable(label));
        }

        qputenv("LANG", "en_US.UTF-8");
        qunsetenv("LC_ALL");
        qunsetenv("LC_MESSAGES");
        QVERIFY(UseUserLanguage());
        {
            CMainFrame frame(*m_settings, "pelloru");
            frame.View()->OnInitialUpdate();
            const QList<QAction *> menus = frame.menuBar()->actions();
            QCOMPARE(menus[0]->text(), QStringLiteral("&File"));
            QCOMPARE(Entries(menus[0]->menu()),
                     QStringList({"Check", "Dry run", "Cancel", "|", "Settings", "Rules...", "|", "E&xit"}));
            QCOMPARE(frame.View()->model()->headerData(3, Qt::Horizontal).toString(), QStringLiteral("Subject"));
            QCOMPARE(frame.MessagePane()->text(), QStringLiteral("Ready"));
        }
        SetTranslation(nullptr);
        qputenv("LANG", "C.UTF-8");
    }

    void theWindowWithoutADisplaySaysWhatToDo() {
        QProcess program;
        program.setProcessEnvironment(Environment(false));
        program.start(PELLORU_BINARY, QStringList());
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitCode(), CPelloruApp::kExitNoDisplay);
        const QByteArray said = program.readAllStandardError();
        QVERIFY(said.contains("--list") && said.contains("/b"));
    }

    void aDryRunPrintsWhatItWouldDeleteAndSendsNoDele() {
        QFile patterns(m_config.path() + "/loesche_direkt.txt");
        QVERIFY(patterns.open(QIODevice::WriteOnly));
        patterns.write("Subject:*Hallo\n");
        patterns.close();
        const QList<QStringList> calls = {{"--list", "--dry-run"}, {"--dry-run", "/b", "--debug"}};
        for (const QStringList &arguments : calls) {
            ScriptedServer server;
            Script(server);  // TOPs and QUIT, no RETR, no DELE
            PointAt(server);
            server.Start();
            QProcess program;
            program.setProcessEnvironment(Environment(true));
            program.setWorkingDirectory(m_config.path());
            program.start(PELLORU_BINARY, arguments);
            QVERIFY(program.waitForFinished(30000));
            QCOMPARE(program.exitCode(), 0);
            QVERIFY(QString::fromUtf8(program.readAllStandardOutput())
                        .startsWith(QStringLiteral("würde gelöscht=Subject:*Hallo\t Anna \t100")));
            // --debug: the conversation on standard error, the password masked.
            const QByteArray said = program.readAllStandardError();
            // (Each line after the milliseconds since the start.)
            QCOMPARE(QString::fromUtf8(said).contains(QRegularExpression("> PASS \\*{8}\n *[0-9]+\\.[0-9] < \\+OK logged on")),
                     arguments.contains("--debug"));
            QVERIFY(!said.contains("secret"));
            server.Finish();
            QVERIFY(server.Failures().empty());
        }
        patterns.remove();
    }

    void failuresSayWhyInTheBoxAndOnStandardError() {
        TestCertificates certificates;
        QVERIFY2(certificates.Ok(), certificates.Error().c_str());
        const std::string noDovecot = DovecotServer::Unavailable();
        DovecotServer dovecot;
        std::string error;
        if (noDovecot.empty()) QVERIFY2(dovecot.Start(&error), error.c_str());
        ScriptedServer silent;
        silent.ExpectSilence(3500).NextConnection().ExpectSilence(3500);
        silent.Start();
        // A TLS server ends with the first failed handshake: one each.
        std::vector<std::unique_ptr<ScriptedServer>> tls;
        auto untrusted = [&] {
            tls.push_back(std::make_unique<ScriptedServer>());
            tls.back()->EnableTls(certificates.Certificate("server"), certificates.Key("server"));
            tls.back()->Start();
            return "pop3s://127.0.0.1:" + std::to_string(tls.back()->Port());
        };
        struct Kind {
            std::function<std::string()> host;
            std::string password, reason, more;
        };
        auto fixed = [](const std::string &host) { return [host] { return host; }; };
        const std::vector<Kind> kinds = {
            {fixed("nonexistent.invalid"), "secret", "ließ sich nicht auflösen", ""},
            {fixed("127.0.0.1:" + std::to_string(FindClosedPort())), "secret",
             "hat die Verbindung abgelehnt", ""},
            {fixed("127.0.0.1:" + std::to_string(silent.Port())), "secret", "Zeitüberschreitung", ""},
            {untrusted, "secret", "Zertifikat des Servers wurde abgelehnt", "CN=localhost, issuer /CN=Pelloru Test CA, valid "},
            {fixed(noDovecot.empty() ? "127.0.0.1:" + std::to_string(dovecot.Port()) : std::string()),
             "falsch", "Der Server lehnte die Anmeldung ab: \"-ERR [AUTH] Authentication failed.\"", ""},
        };
        m_settings->Write("USER", DovecotServer::kUser);
        for (const Kind &kind : kinds) {
            if (kind.host().empty()) {
                if (qEnvironmentVariableIsSet("CI")) QFAIL(noDovecot.c_str());
                qWarning("no wrong-password case: %s", noDovecot.c_str());
                continue;
            }
            m_settings->Write("HOST", kind.host());
            m_settings->Write("TIMEOUT", "3");
            m_settings->Write("PASS", CSettingsStore::ComplementPassword(kind.password));
            const QString reason = QString::fromStdString(kind.reason);
            CMainFrame *frame = nullptr;
            const Box box = CheckInWindow(&frame);
            QCOMPARE(frame->windowTitle(), QStringLiteral("pelloru - Verbindung fehlgeschlagen"));
            delete frame;
            QCOMPARE(box.text, QStringLiteral("Connection Failed"));
            QVERIFY2(box.detail.contains(reason), qPrintable(reason + " / " + box.detail));
            QVERIFY2(box.detail.contains(QString::fromStdString(kind.more)), qPrintable(box.detail));

            m_settings->Write("HOST", kind.host());
            QProcess list;
            list.setProcessEnvironment(Environment(false));
            list.start(PELLORU_BINARY, {"--list"});
            QVERIFY(list.waitForFinished(30000));
            QCOMPARE(list.exitCode(), CPelloruApp::kExitLogOnFailed);
            const QString said = QString::fromUtf8(list.readAllStandardError());
            QCOMPARE(said.count('\n'), 1);
            QVERIFY2(said.startsWith("pelloru: Connection Failed: ") && said.contains(reason),
                     qPrintable(said));
        }
        m_settings->Write("TIMEOUT", "");
    }

    void aScanLeavesTheWindowResponsiveAndStopsWhenCancelled() {
        // Cancelled while the server takes its time: the message in hand
        // is read and the session ends with QUIT; a server that stays
        // silent is left without one.
        for (bool answers : {true, false}) {
            ScriptedServer server;
            server.LogOn()
                .Expect("CAPA\r\n").Send("+OK\r\n.\r\n")
                .Expect("STAT\r\n").Send("+OK 3 300\r\n")
                .Expect("LIST\r\n").Send("+OK\r\n1 100\r\n2 100\r\n3 100\r\n.\r\n")
                .Expect("UIDL\r\n").Send("+OK\r\n1 a\r\n2 b\r\n3 c\r\n.\r\n")
                .Expect("TOP 1 25\r\n").Send(TopReply("Subject: eins\r\n\r\nx\r\n"))
                .Expect("TOP 2 25\r\n").Pause(answers ? 800 : 6000);
            if (answers) server.Send(TopReply("Subject: zwei\r\n\r\nx\r\n")).Expect("Quit\r\n");
            PointAt(server);
            server.Start();
            CMainFrame frame(*m_settings, "pelloru");
            CPelloruView *view = frame.View();
            view->OnInitialUpdate();
            int ticks = 0;
            QTimer ticker;
            connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
            ticker.start(10);
            QSignalSpy done(view, &CPelloruView::ScanFinished);
            view->OnCheck();
            QVERIFY(!frame.Command(ID_CHECK)->isEnabled() && !frame.Command(ID_SETTINGS)->isEnabled());
            QTRY_COMPARE_WITH_TIMEOUT(view->Model()->RowCount(), 1, 10000);
            const int before = ticks;
            QTest::qWait(300);
            QVERIFY2(ticks - before >= 5, "the event loop stood still during the scan");
            QVERIFY(frame.Command(ID_CANCEL)->isEnabled());
            frame.Command(ID_CANCEL)->trigger();
            QVERIFY(done.wait(10000));
            QCOMPARE(done.first().at(0).toInt(),
                     int(answers ? CMailboxScan::Cancelled : CMailboxScan::Interrupted));
            if (answers) QCOMPARE(frame.MessagePane()->text(), QStringLiteral("Abgebrochen nach 2 von 3 E-Mails"));
            // The message in hand has its row, filled only where it came whole.
            QCOMPARE(view->Model()->RowCount(), 2);
            QCOMPARE(view->Model()->CellText(1, ColSubject), std::string(answers ? " zwei" : ""));
            QVERIFY(frame.Command(ID_CHECK)->isEnabled() && !frame.Command(ID_CANCEL)->isEnabled());
            server.Finish();
            QVERIFY(server.Failures().empty());
            QCOMPARE(server.Received().find("TOP 3") == std::string::npos, true);
            QCOMPARE(server.Received().find("Quit") != std::string::npos, answers);
        }
    }

    void aSecondScanTellsOfTheNewMessagesOnly() {
        ScriptedServer server;
        Mailbox(server, {1, 2});
        server.NextConnection();
        Mailbox(server, {1, 2, 3, 4}, 2);
        PointAt(server);
        server.Start();
        CMainFrame *frame = nullptr;
        CheckInWindow(&frame);
        QSignalSpy told(frame, &CMainFrame::NewMailNotified);
        QSignalSpy done(frame->View(), &CPelloruView::ScanFinished);
        frame->View()->OnCheck();
        QVERIFY(done.wait(30000));
        QCOMPARE(told.size(), 1);
        QCOMPARE(told.first().at(0).toString(), QStringLiteral("2 neue E-Mails"));
        QCOMPARE(told.first().at(1).toString(),
                 QStringLiteral("Absender 3 <a3@example.de>: Nummer 3\nAbsender 4 <a4@example.de>: Nummer 4"));
        delete frame;
        server.Finish();
        QVERIFY(server.Failures().empty());
    }

    void aPasswordInTheKeyringIsUsedAndLeavesTheProfile() {
        // A real Secret Service: gnome-keyring in a private D-Bus session.
        if (const QString why = NoKeyringOrDovecot(false); !why.isEmpty()) {
            if (qEnvironmentVariableIsSet("CI")) QFAIL(qPrintable(why));
            QSKIP(qPrintable(why));
        }
        DovecotServer server;
        std::string error;
        QVERIFY2(server.Start(&error), error.c_str());
        QVERIFY(server.AddMessage("Subject: eins\r\nMessage-Id: <1@x>\r\n\r\nText\r\n"));
        QTemporaryDir home;
        m_settings->Write("PASS", CSettingsStore::ComplementPassword("nicht-dieses"));
        const QString script = QStringLiteral(
            "printf '127.0.0.1:%1\\n%2\\n%3\\n' | \"$PELLORU\" --configure --keyring\n"
            "\"$PELLORU\" --list\n")
                                   .arg(server.Port())
                                   .arg(DovecotServer::kUser, DovecotServer::kPassword);
        QProcessEnvironment env = Environment(false);
        env.insert("HOME", home.path());
        env.insert("XDG_DATA_HOME", home.path() + "/data");
        env.insert("PELLORU", PELLORU_BINARY);
        const Ran ran = RunWithKeyring(script, env, 60);
        QVERIFY2(ran.status == 0, qPrintable(ran.said));
        QVERIFY(ran.out.contains(QStringLiteral(" eins\t")));
        QCOMPARE(m_settings->Read("KEYRING"), std::string("1"));
        QVERIFY(m_settings->Read("PASS").empty());
        QFile profile(QString::fromStdString(m_settings->ProfilePath()));
        QVERIFY(profile.open(QIODevice::ReadOnly));
        QVERIFY(!profile.readAll().contains("PASS"));
        m_settings->Write("KEYRING", "");
    }

    void oauthSignInRefreshesUnattendedAndSaysWhenRefused() {
        // A provider of the test's own (HTTPS, PKCE checked) in providers.tsv
        // beside the profile, Dovecot asking it about each token, and a real
        // Secret Service: the whole way, through the program itself.
        if (const QString why = NoKeyringOrDovecot(true); !why.isEmpty()) {
            if (qEnvironmentVariableIsSet("CI")) QFAIL(qPrintable(why));
            QSKIP(qPrintable(why));
        }
        TestCertificates certificates;
        QVERIFY2(certificates.Ok(), certificates.Error().c_str());
        IntrospectionServer provider(certificates.Certificate("server"), certificates.Key("server"));
        QVERIFY(provider.TlsPort() > 0);
        DovecotServer server;
        server.EnableTls(certificates.Certificate("server"), certificates.Key("server"));
        server.EnableImap();
        server.EnableOAuth2(provider.Url());
        std::string error;
        QVERIFY2(server.Start(&error), error.c_str());
        QVERIFY(server.AddMessage("Subject: eins\r\nMessage-Id: <1@x>\r\n\r\nText\r\n"));
        QTemporaryDir config, home;
        const QString https = QStringLiteral("https://localhost:%1").arg(provider.TlsPort());
        // One provider signs in in the browser only, one also with a code.
        QFile table(config.path() + "/askeven/providers.tsv");
        QVERIFY(QDir().mkpath(config.path() + "/askeven") && table.open(QIODevice::WriteOnly));
        for (const auto &[domain, host, device] : {std::tuple<QString, QString, QString>{"browser.test", "127.0.0.1", ""},
                                                    {"geraet.test", "localhost", https + "/device"}})
            table.write(QStringLiteral("%1\t%2\t\tlocalpart\toauth\t%3/authorize\t%3/token\t%4\tmail\tpelloru-test\n")
                            .arg(domain, host + ":" + QString::number(server.ImapsPort()), https, device)
                            .toUtf8());
        table.close();
        const QString control = QStringLiteral("http://127.0.0.1:%1").arg(provider.Port());
        const QString script = QStringLiteral(
            "get() { python3 -c 'import sys,urllib.request; print(urllib.request.urlopen(sys.argv[1]).read().decode())' "
            "\"$CONTROL$1\"; }\n"
            "keys=\"CAFILE=$CA\"\n"
            "echo '# browser'\n"
            "echo \"$keys\" | BROWSER=\"$BROWSER_PY\" \"$PELLORU\" --configure --account web --address pelloru@browser.test\n"
            "echo '# device'\n"
            "echo \"$keys\" | \"$PELLORU\" --configure --account geraet --address pelloru@geraet.test 2>\"$HOME/device\" &\n"
            "for i in $(seq 100); do grep -q PELL-0RU1 \"$HOME/device\" && break; sleep 0.1; done\n"
            "get '/approve?user_code=PELL-0RU1' >/dev/null; wait $!\n"
            "echo '# the same sign-in in a second account'\n"
            "printf 'imaps://127.0.0.1:%1\\npelloru\\n\\nOAUTH=browser.test\\n%s\\n' \"$keys\" |"
            " \"$PELLORU\" --configure --account web2\n"
            "get /revoke-after?n=1 >/dev/null\n"
            "echo '# withdrawn'\n"
            "\"$PELLORU\" --list --account web --account web2 --account geraet\n"
            "get /stats\n"
            "get '/expires?seconds=30' >/dev/null\n"
            "echo '# short-lived'\n"
            "\"$PELLORU\" --list --account web --account web2\n"
            "get /stats\n"
            "get '/revoke?all=1' >/dev/null\n"
            "echo '# refused'\n"
            "\"$PELLORU\" --list --account web && exit 9 || echo \"status $?\"\n")
                                   .arg(server.ImapsPort());
        QProcessEnvironment env = Environment(false);
        env.insert("XDG_CONFIG_HOME", config.path());
        env.insert("HOME", home.path());
        env.insert("XDG_DATA_HOME", home.path() + "/data");
        env.insert("PELLORU", PELLORU_BINARY);
        env.insert("CA", QString::fromStdString(certificates.CaFile()));
        env.insert("PELLORU_TEST_CA", QString::fromStdString(certificates.CaFile()));
        env.insert("BROWSER_PY", PELLORU_SUPPORT_DIR "/browser.py");
        env.insert("CONTROL", control);
        const Ran ran = RunWithKeyring(script, env, 120);
        const QString &said = ran.said, &out = ran.out;
        QVERIFY2(ran.status == 0, qPrintable(said + out));
        const QStringList parts = out.split(QStringLiteral("# "));
        QCOMPARE(parts.size(), 7);
        // Each account lists its message; the withdrawn token was renewed
        // and tried again (refused over OAUTHBEARER and XOAUTH2).
        QVERIFY2(parts[4].count(QStringLiteral(" eins\t")) == 3, qPrintable(out + said));
        // (Each run starts without tokens in memory: one renewal per login.)
        QVERIFY2(parts[4].contains(QStringLiteral("\"refresh\": 3")) && parts[4].contains(QStringLiteral("\"inactive\": 2")) &&
                     parts[4].contains(QStringLiteral("\"code\": 1")) && parts[4].contains(QStringLiteral("\"device\": 1")),
                 qPrintable(out));
        // A token that holds less than a minute is renewed before it is used.
        QVERIFY2(parts[5].count(QStringLiteral(" eins\t")) == 2, qPrintable(out + said));
        QVERIFY2(parts[5].contains(QStringLiteral("\"refresh\": 5")) && parts[5].contains(QStringLiteral("\"inactive\": 2")),
                 qPrintable(out));
        // Once the provider takes the sign-in back, the run says so.
        QVERIFY2(parts[6].contains(QStringLiteral("status 2")), qPrintable(out));
        QVERIFY2(said.contains(QStringLiteral("ließ sich nicht erneuern: der Anbieter lehnt ab (invalid_grant")),
                 qPrintable(said));
        // The refresh token is in the keyring only.
        QFile profile(config.path() + "/askeven/pelloru.conf");
        QVERIFY(profile.open(QIODevice::ReadOnly));
        const QByteArray stored = profile.readAll();
        QVERIFY(stored.contains("OAUTH=browser.test") && !stored.contains("PASS="));
    }

    void listOutputCannotSteerTheTerminal() {
        CScanRowModel list;
        list.InsertRow(0, "a\tb\r\n", "");
        list.SetCellText(0, ColSubject, "\x1b]0;title\x07\x1b[2J\x7f", "");
        list.SetCellText(0, ColText, "caf\xC3\xA9 \xC2\x9B" "1m", "utf-8");
        QCOMPARE(QString::fromUtf8(CHeadlessRun::FormatRows(list)),
                 QStringLiteral("a\\tb\\r\\n\t\t\t\\x1b]0;title\\x07\\x1b[2J\\x7f\t"
                                "café \\u009b1m\t\n"));
    }

    void configureReadsThreeLines() {
        QProcess program;
        program.setProcessEnvironment(Environment(false));
        program.start(PELLORU_BINARY, {"--configure"});
        program.write("pop.example.net:995\nanna\nsehr geheim\n");
        program.closeWriteChannel();
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitCode(), 0);
        QCOMPARE(m_settings->Read("HOST"), std::string("pop.example.net:995"));
        QCOMPARE(m_settings->Read("USER"), std::string("anna"));
        QCOMPARE(CSettingsStore::ComplementPassword(m_settings->Read("PASS")),
                 std::string("sehr geheim"));

        QProcess help;
        help.start(PELLORU_BINARY, {"--version"});
        QVERIFY(help.waitForFinished(30000));
        QCOMPARE(QString::fromUtf8(help.readAllStandardOutput()).trimmed(),
                 QStringLiteral("Pelloru Version 1.4"));
    }

    void accountsAreAddedEditedAndRemovedInTheList() {
        QTemporaryDir dir;
        qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
        CSettingsStore store("pelloru");
        {
            CAccountsDlg dialog(store);
            QCOMPARE(dialog.List()->count(), 0);
            QVERIFY(!dialog.EditButton()->isEnabled());
            // The editor as a user fills it: a server and a name.
            int added = 0;
            dialog.SetEditor([&](const std::string &section) {
                AccountConfig account = CScanConfig::LoadSection(store, section);
                if (account.host.empty()) account.host = "pop" + std::to_string(++added) + ".example.net";
                account.name = "konto" + std::to_string(added) + (account.name.empty() ? "" : "+");
                CScanConfig::Store(store, account);
            });
            dialog.AddButton()->click();
            dialog.AddButton()->click();
            QCOMPARE(dialog.List()->count(), 2);
            QCOMPARE(dialog.Accounts()[0].section, std::string(CScanConfig::kFirstSection));
            QCOMPARE(dialog.Accounts()[1].section, std::string("Account2"));
            dialog.List()->setCurrentRow(1);
            dialog.EditButton()->click();
            QCOMPARE(dialog.Accounts()[1].name, std::string("konto2+"));
            QTimer yes;
            connect(&yes, &QTimer::timeout, [] {
                if (auto *ask = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
                    ask->button(QMessageBox::Yes)->click();
            });
            yes.start(20);
            dialog.List()->setCurrentRow(0);
            dialog.RemoveButton()->click();
            QCOMPARE(dialog.List()->count(), 1);
        }
        // The first account's section went empty; the second stays whole.
        QCOMPARE(store.Read("HOST"), std::string());
        const std::vector<AccountConfig> left = CScanConfig::Load(store);
        QCOMPARE(left.size(), size_t(1));
        QCOMPARE(left[0].host, std::string("pop2.example.net"));
        qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
    }

    // Rules grow from rows: each command proposes its line (accepted here
    // as proposed), writes it, and a dry run shows at once what the rules
    // now do; the allow-list keeps a friend's mail from a pattern.
    void rulesGrowFromRows() {
        REQUIRE_DOVECOT_QT(false);
        DovecotServer server;
        std::string error;
        QVERIFY2(server.Start(&error), error.c_str());
        QVERIFY(server.AddMessage("From: Werbung <spam@evil.example>\r\nSubject: Angebot\r\nMessage-Id: <s@x>\r\n\r\nKaufen\r\n"));
        QVERIFY(server.AddMessage("From: Anna <anna@example.de>\r\nSubject: Gewinnspiel\r\nMessage-Id: <a@x>\r\n\r\nHallo\r\n"));
        QVERIFY(server.AddMessage("From: Liste <bounce=anna=example.de@lists.example>\r\nSubject: Rundbrief\r\n"
                                  "Message-Id: <l@x>\r\n\r\nNeu\r\n"));
        QTemporaryDir folder;
        const std::string patterns = folder.path().toStdString() + "/loesche_direkt.txt";
        m_settings->Write("HOST", "127.0.0.1:" + std::to_string(server.Port()));
        m_settings->Write("USER", DovecotServer::kUser);
        m_settings->Write("PASS", CSettingsStore::ComplementPassword(DovecotServer::kPassword));
        m_settings->Write("PATTERNS", patterns);
        QTimer accept;
        connect(&accept, &QTimer::timeout, [] {
            if (auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget())) dialog->accept();
        });
        accept.start(20);
        CMainFrame *frame = nullptr;
        CheckInWindow(&frame);
        CPelloruView *view = frame->View();
        QSignalSpy done(view, &CPelloruView::ScanFinished);
        const auto rule = [&](int row, int command) {
            view->clearSelection();
            view->SelectRow(row, true);
            done.clear();
            frame->Command(command)->trigger();
            QVERIFY(done.wait(30000));
        };
        rule(0, ID_BLOCK_SENDER);
        QCOMPARE(view->ShownCell(0, ColAddress), QStringLiteral("würde gelöscht=From:*spam@evil.example"));
        rule(1, ID_ALLOW_SENDER);
        rule(1, ID_BLOCK_SUBJECT);
        QCOMPARE(view->ShownCell(1, ColAddress), QStringLiteral("behalten=anna@example.de"));
        QCOMPARE(ReadBinaryFile(patterns), std::string("From:*spam@evil.example\nSubject:*Gewinnspiel\n"));
        QCOMPARE(ReadBinaryFile(folder.path().toStdString() + "/nie_loeschen.txt"), std::string("anna@example.de\n"));
        QCOMPARE(server.CountMessages(), 3);

        // The rules editor counts each line's rows; one that matched
        // nothing yet is grey, and a line that matches everything is refused.
        view->clearSelection();
        std::unique_ptr<CRulesDlg> rules = view->MakeRulesDialog();
        QTableWidget *table = rules->Table(false);
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(table->item(0, 1)->text(), QStringLiteral("1"));
        QCOMPARE(rules->Table(true)->item(0, 1)->text(), QStringLiteral("1"));
        QVERIFY(table->item(0, 0)->toolTip().isEmpty());
        table->insertRow(2);
        table->setItem(2, 1, new QTableWidgetItem);
        table->setItem(2, 0, new QTableWidgetItem(QStringLiteral("Subject:*Angebot")));
        QCOMPARE(table->item(2, 1)->text(), QStringLiteral("1"));
        // A new line is not "unused" yet.
        QVERIFY(table->item(2, 0)->toolTip().isEmpty());
        QVERIFY2(rules->Where().contains(QString::fromStdString(patterns)), qPrintable(rules->Where()));
        table->item(2, 0)->setText(QStringLiteral("**"));
        QTimer closer;
        connect(&closer, &QTimer::timeout, [] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) box->accept();
        });
        closer.start(20);
        rules->accept();
        QVERIFY(rules->Refusal().contains(QStringLiteral("träfe jede E-Mail")));
        QCOMPARE(ReadBinaryFile(patterns), std::string("From:*spam@evil.example\nSubject:*Gewinnspiel\n"));
        rules.reset();  // a child of the view
        // The commands act on the message, whatever its row shows, and an
        // address may hold "=".
        rule(0, ID_ALLOW_SENDER);
        rule(2, ID_BLOCK_SENDER);
        QCOMPARE(ReadBinaryFile(folder.path().toStdString() + "/nie_loeschen.txt"),
                 std::string("anna@example.de\nspam@evil.example\n"));
        QCOMPARE(ReadBinaryFile(patterns), std::string("From:*spam@evil.example\nSubject:*Gewinnspiel\n"
                                                       "From:*bounce=anna=example.de@lists.example\n"));
        delete frame;
        m_settings->Remove("PATTERNS");
    }

    // Where the desktop's notification service shows buttons, a notice of
    // one new message offers "Anzeigen" and "Absender sperren", and a
    // button pressed comes back to the window: here a service of the
    // test's own on a private bus.
    void noticesOfferButtonsWhereTheDesktopDoes() {
        if (QStandardPaths::findExecutable("dbus-daemon").isEmpty()) {
            if (qEnvironmentVariableIsSet("CI")) QFAIL("no dbus-daemon");
            QSKIP("no dbus-daemon");
        }
        QProcess bus;
        bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        QVERIFY(bus.waitForReadyRead(10000));
        const QString address = QString::fromUtf8(bus.readLine()).trimmed();
        {
            QDBusConnection service = QDBusConnection::connectToBus(address, "fake-notifications");
            FakeNotifications fake;
            QVERIFY(service.registerObject("/org/freedesktop/Notifications", &fake, QDBusConnection::ExportAllSlots));
            QVERIFY(service.registerService("org.freedesktop.Notifications"));
            ScriptedServer server;
            Mailbox(server, {1});
            server.NextConnection();
            Mailbox(server, {1, 2}, 1, "Doppelt & <wichtig> ");
            PointAt(server);
            server.Start();
            CMainFrame *frame = nullptr;
            CheckInWindow(&frame);
            QSignalSpy ready(frame->Notices(), &CDesktopNotices::Ready);
            frame->Notices()->SetBus(QDBusConnection::connectToBus(address, "pelloru-notices"));
            QVERIFY(ready.wait(5000));
            QVERIFY(frame->Notices()->OffersActions());
            QSignalSpy done(frame->View(), &CPelloruView::ScanFinished);
            frame->View()->OnCheck();
            QVERIFY(done.wait(30000));
            QTRY_COMPARE(fake.actions, QStringList({"show", "Anzeigen", "block", "Absender sperren"}));
            QCOMPARE(fake.summary, QStringLiteral("1 neue E-Mail"));
            // The body is markup to the service, and the notice stays until dismissed.
            QVERIFY2(fake.body.contains(QStringLiteral("Doppelt &amp; &lt;wichtig&gt; 2")), qPrintable(fake.body));
            QCOMPARE(fake.expires, 0);
            QDBusMessage pressed = QDBusMessage::createSignal("/org/freedesktop/Notifications",
                                                              "org.freedesktop.Notifications", "ActionInvoked");
            pressed << uint(FakeNotifications::kId) << QStringLiteral("show");
            QVERIFY(service.send(pressed));
            QTRY_VERIFY(frame->View()->IsRowSelected(1));
            QVERIFY(!frame->View()->IsRowSelected(0));
            delete frame;
            server.Finish();
            QVERIFY(server.Failures().empty());
        }
        QDBusConnection::disconnectFromBus("fake-notifications");
        QDBusConnection::disconnectFromBus("pelloru-notices");
        bus.kill();
        bus.waitForFinished();
    }

    // A check nobody started (timer, push) opens no box: a failing account
    // shows as its state, told once when it starts failing and once when
    // it works again, and the other accounts go on being checked. A check
    // the user started shows its box naming the account, without holding
    // anything.
    void aFailingAccountHoldsNoOne() {
        ScriptedServer working, repaired;
        Mailbox(working, {1});
        for (int check = 0; check < 3; ++check) Mailbox(working.NextConnection(), {1}, 1);
        Mailbox(repaired, {5});
        working.Start();
        repaired.Start();
        CScanConfig::Remove(*m_settings, CScanConfig::LoadSection(*m_settings, CScanConfig::kFirstSection));
        AccountConfig privat, kaputt;
        for (AccountConfig *account : {&privat, &kaputt}) {
            account->section = CScanConfig::FreeSection(*m_settings);
            account->user = "user";
            account->storedPassword = CSettingsStore::ComplementPassword("secret");
            account->intervalMinutes = 1;
            account->notify = false;
            account->name = account == &privat ? "privat" : "kaputt";
            account->host = "127.0.0.1:" + std::to_string(account == &privat ? working.Port() : FindClosedPort());
            QVERIFY(CScanConfig::Store(*m_settings, *account));
        }
        auto *frame = new CMainFrame(*m_settings, "pelloru");
        CPelloruView *view = frame->View();
        view->OnInitialUpdate();
        QSignalSpy done(view, &CPelloruView::ScanFinished);
        QSignalSpy told(frame, &CMainFrame::AccountStateNoticed);
        const auto pushed = [&] {
            done.clear();
            view->OnPushedCheck({privat.section, kaputt.section});
            QVERIFY(done.wait(30000));
            QCoreApplication::processEvents();
        };
        for (int check = 0; check < 2; ++check) {
            pushed();
            QVERIFY(OpenBox() == nullptr);
            QCOMPARE(view->model()->rowCount(), 1);
            QVERIFY2(frame->MessagePane()->text().startsWith(QStringLiteral("Konto \"kaputt\" gescheitert: ")),
                     qPrintable(frame->MessagePane()->text()));
            QCOMPARE(told.size(), 1);
        }
        QVERIFY(told.first().at(0).toString().contains(QStringLiteral("kaputt")));
        // Saved rows say whose they are, for the user's eyes only.
        const QString saved = m_config.path() + "/zeilen.tsv";
        QVERIFY(view->SaveRows(saved));
        QVERIFY2(ReadBinaryFile(saved.toStdString()).rfind("privat\ta1@example.de\t", 0) == 0,
                 ReadBinaryFile(saved.toStdString()).c_str());
        struct stat info {};
        QVERIFY(::stat(saved.toLocal8Bit().constData(), &info) == 0);
        QCOMPARE(info.st_mode & 0777, 0600u);
        // Started by the user: the box names the account, and the check is
        // over while it is still open.
        done.clear();
        view->OnCheck();
        QVERIFY(done.wait(30000));
        QTRY_VERIFY(OpenBox() != nullptr);
        QVERIFY2(OpenBox()->text().startsWith(QStringLiteral("Konto \"kaputt\": ")), qPrintable(OpenBox()->text()));
        QVERIFY(!view->Scanning());
        OpenBox()->close();
        // Working again: told once.
        kaputt.host = "127.0.0.1:" + std::to_string(repaired.Port());
        QVERIFY(CScanConfig::Store(*m_settings, kaputt));
        pushed();
        QCOMPARE(told.size(), 2);
        QVERIFY(told.last().at(0).toString().contains(QStringLiteral("wieder")));
        QCOMPARE(frame->MessagePane()->text(), QStringLiteral("Bereit"));
        // The rules count over every account that uses the file, and name them.
        std::unique_ptr<CRulesDlg> rules = view->MakeRulesDialog();
        QVERIFY2(rules->Where().endsWith(QStringLiteral("Konten: privat, kaputt")), qPrintable(rules->Where()));
        QTableWidget *table = rules->Table(false);
        const int added = table->rowCount();
        table->insertRow(added);
        table->setItem(added, 1, new QTableWidgetItem);
        table->setItem(added, 0, new QTableWidgetItem(QStringLiteral("Subject:*Nummer")));
        QCOMPARE(table->item(added, 1)->text(), QStringLiteral("2"));
        rules.reset();
        delete frame;
        working.Finish();
        repaired.Finish();
        QVERIFY(working.Failures().empty());
        for (const AccountConfig &account : CScanConfig::Load(*m_settings)) CScanConfig::Remove(*m_settings, account);
        m_settings->Remove("NAME");
    }

    void everyAccountInOneWindow() {
        REQUIRE_DOVECOT_QT(true);
        TestCertificates certificates;
        QVERIFY2(certificates.Ok(), certificates.Error().c_str());
        DovecotServer scram, secure;
        scram.SetMechanisms("scram-sha-256");
        secure.EnableTls(certificates.Certificate("server"), certificates.Key("server"));
        secure.EnableImap();
        std::string error;
        QVERIFY2(scram.Start(&error), error.c_str());
        QVERIFY2(secure.Start(&error), error.c_str());
        for (DovecotServer *server : {&scram, &secure})
            for (const char *id : {"a", "b"})
                QVERIFY(server->AddMessage(std::string("From: x@example.de\r\nSubject: Nachricht ") + id +
                                           "\r\nMessage-Id: <" + id + "@x>\r\n\r\nText\r\n"));
        ScriptedServer refusing;  // refuses the test's log-on and the scan's
        for (int time = 0; time < 2; ++time) {
            refusing.Send("+OK\r\n").Expect("CAPA\r\n").Send("-ERR\r\n").Expect("USER u\r\n")
                .Send("+OK\r\n").Expect("PASS p\r\n").Send("-ERR [AUTH] nope\r\n");
            if (time == 0) refusing.NextConnection();
        }
        refusing.Start();
        // Three accounts, as --configure --account makes them, in a profile
        // that had none.
        CScanConfig::Remove(*m_settings, CScanConfig::LoadSection(*m_settings, CScanConfig::kFirstSection));
        const auto configure = [&](const char *name, const std::string &lines) {
            QProcess program;
            program.setProcessEnvironment(Environment(false));
            program.start(PELLORU_BINARY, {"--configure", "--account", name});
            program.write(lines.c_str());
            program.closeWriteChannel();
            QVERIFY(program.waitForFinished(30000));
            QCOMPARE(program.exitCode(), 0);
        };
        configure("privat", "127.0.0.1:" + std::to_string(scram.Port()) + "\n" + DovecotServer::kUser + "\n" +
                                DovecotServer::kPassword + "\nAUTH=SCRAM-SHA-256\n");
        configure("arbeit", "imaps://127.0.0.1:" + std::to_string(secure.ImapsPort()) + "\n" +
                                DovecotServer::kUser + "\n" + DovecotServer::kPassword +
                                "\nCAFILE=" + certificates.CaFile() + "\n");
        configure("kaputt", "127.0.0.1:" + std::to_string(refusing.Port()) + "\nu\np\n");
        QCOMPARE(CScanConfig::Load(*m_settings).size(), size_t(3));
        // "Verbindung testen" tells how the log-on went, or why it failed.
        const std::vector<AccountConfig> configured = CScanConfig::Load(*m_settings);
        const QStringList expected = {QStringLiteral("Verbunden: Anmeldung mit SCRAM-SHA-256, ohne TLS; 2 E-Mails"),
                                      QStringLiteral("Verbunden: Anmeldung mit PLAIN, TLSv1.3 (IMAP); 2 E-Mails"),
                                      QStringLiteral("Gescheitert: Der Server lehnte die Anmeldung ab")};
        for (int account = 0; account < 3; ++account) {
            CSettingsDlg editor(*m_settings, nullptr, configured[static_cast<size_t>(account)].section);
            QSignalSpy tested(&editor, &CSettingsDlg::TestFinished);
            editor.TestButton()->click();
            QVERIFY(tested.wait(30000));
            QVERIFY2(editor.TestResult().startsWith(expected[account]), qPrintable(editor.TestResult()));
        }

        CMainFrame *frame = nullptr;
        const Box box = CheckInWindow(&frame);
        CPelloruView *view = frame->View();
        // The failing account said why, and the others went on.
        QCOMPARE(box.text, QStringLiteral("Konto \"kaputt\": Connection Failed"));
        QVERIFY2(box.detail.startsWith(QStringLiteral("Konto \"kaputt\": Der Server lehnte die Anmeldung ab")),
                 qPrintable(box.detail));
        QCOMPARE(view->model()->rowCount(), 4);
        QVERIFY(!view->header()->isSectionHidden(CScanRowModel::kAccountColumn));
        QCOMPARE(view->header()->visualIndex(CScanRowModel::kAccountColumn), 0);
        QCOMPARE(view->ShownCell(0, CScanRowModel::kAccountColumn), QStringLiteral("privat"));
        QCOMPARE(view->ShownCell(3, CScanRowModel::kAccountColumn), QStringLiteral("arbeit"));
        QCOMPARE(view->ShownCell(3, ColSubject), QStringLiteral(" Nachricht b"));

        // "Löschen" on the second account's row acts on its own server only.
        view->SelectRow(3, true);
        QSignalSpy done(view, &CPelloruView::ScanFinished);
        view->OnDelete();
        QVERIFY(done.wait(60000));
        QCOMPARE(view->ShownCell(3, ColAddress), QStringLiteral("Gelöscht"));
        QCOMPARE(secure.CountMessages(), 1);
        QCOMPARE(scram.CountMessages(), 2);

        // New mail on both: a notice only from the account that wants them,
        // naming it.
        const std::vector<AccountConfig> accounts = CScanConfig::Load(*m_settings);
        AccountConfig work = *CScanConfig::Find(accounts, "arbeit");
        work.notify = false;
        QVERIFY(CScanConfig::Store(*m_settings, work));
        QVERIFY(CScanConfig::Remove(*m_settings, *CScanConfig::Find(accounts, "kaputt")));
        for (DovecotServer *server : {&scram, &secure})
            QVERIFY(server->AddMessage("From: neu@example.de\r\nSubject: Neu\r\nMessage-Id: <n@x>\r\n\r\nText\r\n"));
        QSignalSpy notices(frame, &CMainFrame::NewMailNotified);
        done.clear();
        view->OnCheck();
        QVERIFY(done.wait(60000));
        QCOMPARE(notices.size(), 1);
        QCOMPARE(notices.first().at(0).toString(), QStringLiteral("1 neue E-Mail für privat"));

        // Checking on its own, the IMAP account is watched: new mail there
        // starts a check without the timer (mail goes on arriving until one
        // is seen, as the watch may not idle yet).
        work.intervalMinutes = 60;
        QVERIFY(CScanConfig::Store(*m_settings, work));
        frame->ApplySettings();
        QCOMPARE(frame->WatchCount(), 1);
        done.clear();
        for (int i = 0; i < 10 && done.isEmpty(); ++i) {
            QVERIFY(secure.AddMessage("Subject: Gepusht\r\nMessage-Id: <p" + std::to_string(i) + "@x>\r\n\r\nText\r\n"));
            done.wait(2000);
        }
        QVERIFY(!done.isEmpty());
        delete frame;
        for (const std::string &section : m_settings->Sections())
            if (section != CScanConfig::kFirstSection) m_settings->RemoveSection(section);
        m_settings->Remove("NAME");
        m_settings->Remove("AUTH");
    }
};

QTEST_MAIN(ShellTest)
#include "ShellTest.moc"
