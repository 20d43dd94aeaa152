// SPDX-License-Identifier: GPL-3.0-or-later
// The modal dialog "Konten": the accounts of the profile in a list, with
// "Hinzufügen", "Bearbeiten" (the account's "Einstellungen") and
// "Entfernen". Every change is stored at once.
#pragma once

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

#include "CScanConfig.h"

class QListWidget;
class QPushButton;
class CSettingsStore;

class CAccountsDlg : public QDialog {
    Q_OBJECT
public:
    CAccountsDlg(const CSettingsStore &settings, QWidget *parent = nullptr);

    QListWidget *List() const { return m_list; }
    QPushButton *AddButton() const { return m_add; }
    QPushButton *EditButton() const { return m_edit; }
    QPushButton *RemoveButton() const { return m_remove; }
    const std::vector<AccountConfig> &Accounts() const { return m_accounts; }

    // Opens the editor on the account's section (a new one for Add); the
    // tests replace it to fill the editor themselves.
    void SetEditor(std::function<void(const std::string &section)> editor) { m_editor = std::move(editor); }

public slots:
    void OnAdd();
    void OnEdit();
    void OnRemove();

private:
    void Reload();

    const CSettingsStore &m_settings;
    std::vector<AccountConfig> m_accounts;
    QListWidget *m_list = nullptr;
    QPushButton *m_add = nullptr;
    QPushButton *m_edit = nullptr;
    QPushButton *m_remove = nullptr;
    std::function<void(const std::string &)> m_editor;
};
