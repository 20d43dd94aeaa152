// The main window: menus "&Datei", "&Bearbeiten" and "&?", the toolbar, the
// status bar with its message pane and lock indicators, and the message
// list in the client area.
#pragma once

#include <QMainWindow>

#include <map>
#include <string>

class QAction;
class QLabel;
class QToolBar;
class CPelloruDoc;
class CPelloruView;
class CSettingsStore;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    CMainFrame(const CSettingsStore &settings, const std::string &executableName,
               QWidget *parent = nullptr);

    CPelloruView *View() const { return m_view; }
    CPelloruDoc *Document() const { return m_document; }
    QToolBar *ToolBar() const { return m_toolBar; }
    // The action of a command identifier, null when there is none.
    QAction *Command(int id) const;
    QLabel *MessagePane() const { return m_messagePane; }

private:
    QAction *MakeCommand(int id, const QString &text, const QString &prompt);
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void UpdateCommands();
    void OnAbout();

    CPelloruDoc *m_document = nullptr;
    CPelloruView *m_view = nullptr;
    QToolBar *m_toolBar = nullptr;
    QLabel *m_messagePane = nullptr;
    std::map<int, QAction *> m_commands;
};
