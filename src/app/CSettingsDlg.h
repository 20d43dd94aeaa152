// The modal dialog "Einstellungen": server, user name, password and the
// interval of the checks on their own ("alle N Minuten prüfen", 0: off),
// read from the settings store when it opens and written back on OK. With
// "Passwort im Schlüsselbund speichern" the password goes to the desktop
// keyring and leaves the profile.
#pragma once

#include <QDialog>

#include <string>

#include "CScanConfig.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class CSettingsStore;

class CSettingsDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kResourceId = 130;

    // Edits the account of that section of the profile (empty: the first).
    CSettingsDlg(const CSettingsStore &settings, QWidget *parent = nullptr,
                 const std::string &section = {});

    QLineEdit *ServerEdit() const { return m_server; }
    QLineEdit *UserEdit() const { return m_user; }
    QLineEdit *PasswordEdit() const { return m_password; }
    QSpinBox *IntervalEdit() const { return m_interval; }
    QCheckBox *KeyringCheck() const { return m_keyring; }
    QPushButton *OkButton() const { return m_ok; }
    QPushButton *CancelButton() const { return m_cancel; }

public slots:
    void accept() override;

private:
    void OnInitDialog();

    const CSettingsStore &m_settings;
    std::string m_section;
    AccountConfig m_account;
    QLineEdit *m_server = nullptr;
    QLineEdit *m_user = nullptr;
    QLineEdit *m_password = nullptr;
    QSpinBox *m_interval = nullptr;
    QCheckBox *m_keyring = nullptr;
    QPushButton *m_ok = nullptr;
    QPushButton *m_cancel = nullptr;
};
