// SPDX-License-Identifier: GPL-3.0-or-later
// Takes the README's screenshots: opens the main window on the current
// display, runs "Check" against the configured server, and saves the
// window, the list of accounts, the settings dialog of the first account,
// the rules editor and the About box as PNG files in the
// folder given (the current one by default).
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTimer>

#include <memory>

#include "CAboutDlg.h"
#include "CAccountsDlg.h"
#include "CMainFrame.h"
#include "Language.h"
#include "CPelloruView.h"
#include "CRulesDlg.h"
#include "CSettingsDlg.h"
#include "CSettingsStore.h"

int main(int argc, char **argv) {
    // In the locale's language, as the program itself.
    UseUserLanguage();
    QApplication application(argc, argv);
    Q_INIT_RESOURCE(pelloru);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pelloru.xpm")));
    const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    CSettingsStore settings("pelloru");
    CMainFrame frame(settings, "pelloru");
    frame.resize(1100, 420);
    frame.View()->OnInitialUpdate();
    frame.show();
    auto *dialog = new CSettingsDlg(settings, &frame);
    auto *about = new CAboutDlg(&frame);
    auto *accounts = new CAccountsDlg(settings, &frame);
    std::unique_ptr<CRulesDlg> rules;
    QObject::connect(frame.View(), &CPelloruView::ScanFinished, &frame, [&] {
        frame.View()->SelectRow(1, true);
        QTimer::singleShot(300, &frame, [&] {
            frame.grab().save(folder.filePath("pelloru.png"));
            dialog->show();
        });
        QTimer::singleShot(600, &frame, [&] {
            dialog->grab().save(folder.filePath("pelloru-settings.png"));
            dialog->hide();
            accounts->show();
        });
        QTimer::singleShot(900, &frame, [&] {
            accounts->grab().save(folder.filePath("pelloru-accounts.png"));
            accounts->hide();
            about->show();
        });
        QTimer::singleShot(1200, &frame, [&] {
            about->grab().save(folder.filePath("pelloru-about.png"));
            about->hide();
            frame.View()->clearSelection();
            rules = frame.View()->MakeRulesDialog();
            rules->show();
        });
        QTimer::singleShot(1500, &frame, [&] {
            rules->grab().save(folder.filePath("pelloru-rules.png"));
            rules.reset();
            application.quit();
        });
    });
    QTimer::singleShot(300, &frame, [&] { frame.View()->OnCheck(); });
    return QApplication::exec();
}
