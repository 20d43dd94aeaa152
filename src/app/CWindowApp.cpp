// SPDX-License-Identifier: GPL-3.0-or-later
#include "CWindowApp.h"

#include <QApplication>
#include <QCoreApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "BatchMode.h"
#include "CHeadlessRun.h"
#include "CMainFrame.h"
#include "CPelloruView.h"
#include "CSettingsStore.h"
#include "Translate.h"

// Resources of a static library must be registered by name.
static void InitResources() { Q_INIT_RESOURCE(pelloru); }

int CWindowApp::Run(int argc, char **argv, const std::string &executableName) {
    QApplication application(argc, argv);
    InitResources();
    // Qt's own texts (file dialogs, message box buttons) in German, unless
    // the user reads English (Qt's own language).
    QTranslator translator;
    if (!EnglishWanted() && translator.load(QLocale(QLocale::German), QStringLiteral("qtbase"), QStringLiteral("_"),
                                            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&translator);
    QApplication::setApplicationName(QStringLiteral("Pelloru"));
    QApplication::setOrganizationName(QString::fromLatin1(CSettingsStore::kCompanyKey));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pelloru.xpm")));
    CSettingsStore settings(executableName);
    CMainFrame frame(settings, executableName);
    // The columns, and in batch mode the scan, before the window shows.
    frame.View()->OnInitialUpdate();
    frame.show();
    frame.repaint();
    frame.setWindowTitle(QString::fromStdString(executableName));
    if (BatchMode) return CHeadlessRun::ExitStatus(frame.View()->LastScanOutcome());
    frame.OpenAssistantIfNoAccount();
    return QApplication::exec();
}
