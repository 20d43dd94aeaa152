// SPDX-License-Identifier: GPL-3.0-or-later
// The modal dialog "Einstellungen" of one account: server, user name,
// password and the interval of the checks on their own ("alle N Minuten
// prüfen", 0: off), and the account's name, log-on mechanism, password
// and token commands, CA file, time-out, pattern file and whether it gives
// notices. Read from the settings store when it opens and written back on
// OK. With "Passwort im Schlüsselbund speichern" the password goes to the
// desktop keyring and leaves the profile. "Verbindung testen" logs on with
// what the fields say, on a thread of its own, and tells how it went. An
// account of a provider that takes OAuth 2.0 signs in with "Im Browser
// anmelden": the system browser opens, the refresh token goes to the keyring.
#pragma once

#include <QDialog>

#include <string>
#include <atomic>
#include <thread>

#include "CScanConfig.h"

class QCheckBox;
class QComboBox;
class QLabel;
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
    // A test still running is waited for.
    ~CSettingsDlg() override;

    QLineEdit *ServerEdit() const { return m_server; }
    QLineEdit *UserEdit() const { return m_user; }
    QLineEdit *PasswordEdit() const { return m_password; }
    QSpinBox *IntervalEdit() const { return m_interval; }
    QCheckBox *KeyringCheck() const { return m_keyring; }
    QLineEdit *NameEdit() const { return m_name; }
    QLineEdit *CaFileEdit() const { return m_caFile; }
    QCheckBox *NotifyCheck() const { return m_notify; }
    QComboBox *MatchesCombo() const { return m_matches; }
    QLineEdit *SpamFolderEdit() const { return m_spamFolder; }
    QCheckBox *CacheCheck() const { return m_cache; }
    QPushButton *TestButton() const { return m_test; }
    // What the last "Verbindung testen" said (empty before).
    QString TestResult() const;
    QPushButton *OkButton() const { return m_ok; }
    QPushButton *CancelButton() const { return m_cancel; }

public slots:
    void accept() override;
    void OnTestConnection();

signals:
    void TestFinished(bool ok, const QString &report);
    void SignInFinished(bool ok);

private:
    void OnInitDialog();
    // Tab order as the controls are listed, and what each control does.
    void Wire();
    // The fields most accounts leave as they are, and "alle N Minuten prüfen".
    class QFormLayout *MakeMoreFields();
    class QHBoxLayout *MakeInterval();
    // The account as the fields describe it (the password as typed).
    AccountConfig FromFields() const;

    const CSettingsStore &m_settings;
    std::string m_section;
    AccountConfig m_account;
    QLineEdit *m_server = nullptr;
    QLineEdit *m_user = nullptr;
    QLineEdit *m_password = nullptr;
    QSpinBox *m_interval = nullptr;
    QCheckBox *m_keyring = nullptr;
    QLineEdit *m_name = nullptr;
    QComboBox *m_mechanism = nullptr;
    QLineEdit *m_passwordCommand = nullptr;
    QLineEdit *m_tokenCommand = nullptr;
    QLineEdit *m_caFile = nullptr;
    QSpinBox *m_timeout = nullptr;
    QLineEdit *m_patterns = nullptr;
    QCheckBox *m_notify = nullptr;
    QComboBox *m_matches = nullptr;   // IMAP: delete or move to the spam folder
    QLineEdit *m_spamFolder = nullptr;
    QCheckBox *m_cache = nullptr;
    QPushButton *m_test = nullptr;
    QLabel *m_testResult = nullptr;
    std::thread m_testThread;
    QPushButton *m_ok = nullptr;
    QPushButton *m_cancel = nullptr;
    bool m_matchesPicked = false;  // the user chose what happens to matches
    QLineEdit *m_fingerprint = nullptr;  // the one certificate trusted
    QLineEdit *m_address = nullptr;      // fills server and user from the provider table
    QLabel *m_found = nullptr;           // what the address found
    void OnAddress();
    void ShowServers(const struct ProviderServers &provider);
    std::thread m_lookupThread;  // asks the domain for its servers
    std::atomic<bool> m_stopLookup{false};
    QPushButton *m_trust = nullptr;      // "Diesem Zertifikat ... vertrauen"
    QString m_untrusted;                 // what the last test was shown
    // OAuth 2.0: the provider (OAUTH), an application of the user's own,
    // and "Im Browser anmelden", shown where there is a provider.
    QLineEdit *m_oauthProvider = nullptr;
    QLineEdit *m_oauthClient = nullptr;
    QLineEdit *m_oauthSecret = nullptr;
    QPushButton *m_signIn = nullptr;
    std::thread m_signInThread;
    std::atomic<bool> m_stopSignIn{false};
    void OnSignIn();
public:
    QPushButton *TrustButton() const { return m_trust; }
    QPushButton *SignInButton() const { return m_signIn; }
    QLineEdit *OAuthProviderEdit() const { return m_oauthProvider; }
    QLineEdit *FingerprintEdit() const { return m_fingerprint; }
    QLineEdit *AddressEdit() const { return m_address; }
};
