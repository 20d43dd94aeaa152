#include "CMainFrame.h"

#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>

#include "CAboutDlg.h"
#include "CPelloruDoc.h"
#include "CPelloruView.h"
#include "CommandIds.h"

CMainFrame::CMainFrame(const CSettingsStore &settings, const std::string &executableName,
                       QWidget *parent)
    : QMainWindow(parent) {
    m_document = new CPelloruDoc(this);
    m_view = new CPelloruView(settings, executableName, this);
    setCentralWidget(m_view);
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    connect(m_view, &CPelloruView::SelectionCountChanged, this, [this] { UpdateCommands(); });
    UpdateCommands();
    resize(1024, 600);
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
    QAction *check = MakeCommand(ID_CHECK, QStringLiteral("Check"),
                                 QStringLiteral("Auf Mails prüfen.\nCheck"));
    check->setIcon(look->standardIcon(QStyle::SP_BrowserReload));
    QAction *settings = MakeCommand(ID_SETTINGS, QStringLiteral("Einstellungen"),
                                    QStringLiteral("Mail-Server Einstellungen.\nEinstellungen"));
    settings->setIcon(look->standardIcon(QStyle::SP_FileDialogDetailedView));
    QAction *exit = MakeCommand(ID_APP_EXIT, QStringLiteral("&Beenden"),
                                QStringLiteral("Beendet das Programm.\nBeenden"));
    QAction *copy = MakeCommand(
        ID_EDIT_COPY, QStringLiteral("&Kopieren\tStrg+C"),
        QStringLiteral("Kopiert die ausgewählten Zeilen und überträgt sie in die "
                       "Zwischenablage.\nKopieren"));
    copy->setIcon(look->standardIcon(QStyle::SP_FileDialogContentsView));
    copy->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_C), QKeySequence(Qt::CTRL | Qt::Key_Insert)});
    QAction *remove = MakeCommand(ID_DELETE, QStringLiteral("Löschen"),
                                  QStringLiteral("Löscht die ausgewählten Mails.\nLöschen"));
    QAction *save = MakeCommand(ID_SAVE, QStringLiteral("In Datei sichern"), QString());
    QAction *about = MakeCommand(
        ID_APP_ABOUT, QStringLiteral("Inf&o über Pelloru..."),
        QStringLiteral("Zeigt Programm-Informationen, Versionsnummer und Copyright an.\nInfo"));
    about->setIcon(look->standardIcon(QStyle::SP_MessageBoxQuestion));

    QMenu *file = menuBar()->addMenu(QStringLiteral("&Datei"));
    file->addAction(check);
    file->addSeparator();
    file->addAction(settings);
    file->addSeparator();
    file->addAction(exit);
    QMenu *edit = menuBar()->addMenu(QStringLiteral("&Bearbeiten"));
    edit->addAction(copy);
    edit->addSeparator();
    edit->addAction(remove);
    edit->addSeparator();
    edit->addAction(save);
    QMenu *help = menuBar()->addMenu(QStringLiteral("&?"));
    help->addAction(about);

    connect(check, &QAction::triggered, m_view, &CPelloruView::OnCheck);
    connect(settings, &QAction::triggered, m_view, &CPelloruView::OnSettings);
    connect(exit, &QAction::triggered, this, &QWidget::close);
    connect(copy, &QAction::triggered, m_view, [this] { m_view->OnCopy(ID_EDIT_COPY); });
    connect(remove, &QAction::triggered, m_view, &CPelloruView::OnDelete);
    connect(save, &QAction::triggered, m_view, &CPelloruView::OnSave);
    connect(about, &QAction::triggered, this, &CMainFrame::OnAbout);

    // The document commands have keys but no menu entries.
    QAction *newDoc = MakeCommand(ID_FILE_NEW, QStringLiteral("Neu"), QString());
    newDoc->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    QAction *open = MakeCommand(ID_FILE_OPEN, QStringLiteral("Öffnen"), QString());
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    QAction *saveAs = MakeCommand(ID_FILE_SAVE, QStringLiteral("Speichern unter"), QString());
    saveAs->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    addActions({newDoc, open, saveAs});
    connect(newDoc, &QAction::triggered, m_document, &CPelloruDoc::OnNewDocument);
    connect(open, &QAction::triggered, this, [this] { m_document->OnOpenDocument(this); });
    connect(saveAs, &QAction::triggered, this, [this] { m_document->OnSaveDocumentAs(this); });
}

void CMainFrame::CreateToolBar() {
    m_toolBar = addToolBar(QStringLiteral("Standard"));
    m_toolBar->setObjectName(QStringLiteral("toolbar"));
    m_toolBar->setIconSize(QSize(16, 15));
    m_toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    m_toolBar->addAction(Command(ID_CHECK));
    m_toolBar->addSeparator();
    m_toolBar->addAction(Command(ID_EDIT_COPY));
    m_toolBar->addSeparator();
    m_toolBar->addAction(Command(ID_SETTINGS));
    m_toolBar->addSeparator();
    m_toolBar->addAction(Command(ID_APP_ABOUT));
}

void CMainFrame::CreateStatusBar() {
    m_messagePane = new QLabel(QStringLiteral("Bereit"));
    statusBar()->addWidget(m_messagePane, 1);
    // The lock indicators; their state is not known here, so they stay grey.
    for (const char *indicator : {"UF", "NUM", "RF"}) {
        auto *pane = new QLabel(QString::fromLatin1(indicator));
        pane->setEnabled(false);
        pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        statusBar()->addPermanentWidget(pane);
    }
}

void CMainFrame::UpdateCommands() {
    const bool selection = m_view->SelectedCount() > 0;
    for (int id : {ID_EDIT_COPY, ID_DELETE, ID_SAVE}) Command(id)->setEnabled(selection);
}

void CMainFrame::OnAbout() {
    CAboutDlg about(this);
    about.exec();
}
