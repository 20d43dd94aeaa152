// SPDX-License-Identifier: GPL-3.0-or-later
#include "CSettingsDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QUrl>
#include <QFormLayout>
#include <QMetaObject>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QGuiApplication>
#include <QSpinBox>
#include <QVBoxLayout>

#include "CCredentials.h"
#include "CDirectDeletePatterns.h"
#include "Conversations.h"
#include "CScanConfig.h"
#include "CSettingsStore.h"
#include "DisplayText.h"
#include "MailboxName.h"
#include "Autoconfig.h"
#include "OAuth.h"
#include "Providers.h"
#include "SrvRecords.h"
#include "Ui.h"

namespace {

QString Shown(const std::string &bytes) { return QString::fromStdString(DisplayText(bytes)); }

std::string Bytes(const QString &text) { return text.toStdString(); }

}  // namespace

CSettingsDlg::CSettingsDlg(const CSettingsStore &settings, QWidget *parent,
                           const std::string &section)
    : QDialog(parent), m_settings(settings),
      m_section(section.empty() ? std::string(CScanConfig::kFirstSection) : section) {
    setWindowTitle(Ui("app", "Einstellungen"));
    setModal(true);
    // Laid out by the fonts in use, so that no label is cut. The fields
    // scroll where the screen is too small for them; the test and the
    // buttons below them stay in view.
    auto *outer = new QVBoxLayout(this);
    auto *fields = new QWidget;
    auto *column = new QVBoxLayout(fields);
    column->setContentsMargins(0, 0, 0, 0);
    auto field = [&](const QString &label, QWidget *edit) {
        auto *text = new QLabel(label, this);
        text->setBuddy(edit);
        column->addWidget(text);
        column->addWidget(edit);
        column->addSpacing(4);
    };
    // The address first: for a provider Pelloru knows it fills in server
    // and user name, which stay to be changed before they are stored.
    m_address = new QLineEdit(this);
    m_address->setPlaceholderText(QStringLiteral("anna@gmx.de"));
    field(Ui("app", "E-Mail-Adresse:"), m_address);
    m_found = new QLabel(this);
    m_found->setWordWrap(true);
    column->addWidget(m_found);
    m_server = new QLineEdit(this);
    m_server->setMinimumWidth(m_server->fontMetrics().averageCharWidth() * 40);
    field(Ui("app", "POP3 Server:"), m_server);
    m_user = new QLineEdit(this);
    field(Ui("app", "Benutzername:"), m_user);
    m_password = new QLineEdit(this);
    m_password->setEchoMode(QLineEdit::Password);
    // The password is coded in a buffer of 256 bytes.
    m_password->setMaxLength(CSettingsStore::kPasswordSize - 1);
    field(Ui("app", "Kennwort:"), m_password);
    m_keyring = new QCheckBox(Ui("app", "Kennwort im Schlüsselbund speichern"), this);
    column->addWidget(m_keyring);
    column->addSpacing(4);

    // What most accounts leave as it is.
    column->addLayout(MakeMoreFields());
    column->addSpacing(4);

    column->addLayout(MakeInterval());
    column->addStretch(1);
    auto *scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(fields);
    outer->addWidget(scroll, 1);
    outer->addSpacing(4);
    column = outer;

    auto *testing = new QHBoxLayout;
    m_test = new QPushButton(Ui("app", "Verbindung testen"), this);
    m_testResult = new QLabel(this);
    m_testResult->setWordWrap(true);
    m_testResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_testResult->setMaximumWidth(m_server->fontMetrics().averageCharWidth() * 60);
    testing->addWidget(m_test);
    m_signIn = new QPushButton(Ui("app", "Im Browser anmelden"), this);
    m_signIn->hide();
    testing->addWidget(m_signIn);
    testing->addWidget(m_testResult, 1);
    // Offered where the server showed a certificate nothing vouched for:
    // the user who knows it to be the server's may trust it, this one only.
    m_trust = new QPushButton(Ui("app", "Diesem Zertifikat für dieses Konto vertrauen"), this);
    m_trust->hide();
    column->addLayout(testing);
    column->addWidget(m_trust);
    column->addSpacing(8);

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setDefault(true);
    m_cancel = new QPushButton(Ui("app", "Abbrechen"), this);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_cancel);
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    column->addLayout(buttons);
    // Resizable; it opens as large as its fields want, but never larger
    // than the screen's free area.
    setSizeGripEnabled(true);
    scroll->setMinimumWidth(fields->sizeHint().width() + scroll->verticalScrollBar()->sizeHint().width());
    QSize wanted = sizeHint();
    wanted.setHeight(wanted.height() - scroll->sizeHint().height() + fields->sizeHint().height());
    if (const QScreen *screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen()) {
        const QSize room = screen->availableGeometry().size() * 9 / 10;
        wanted = wanted.boundedTo(room);
        setMaximumSize(screen->availableGeometry().size());
    }
    resize(wanted);
    Wire();
    OnInitDialog();
}

QFormLayout *CSettingsDlg::MakeMoreFields() {
    auto *more = new QFormLayout;
    m_name = new QLineEdit(this);
    m_name->setPlaceholderText(Ui("app", "Benutzer@Server"));
    more->addRow(Ui("app", "Kontoname:"), m_name);
    m_mechanism = new QComboBox(this);
    m_mechanism->addItem(Ui("app", "(das stärkste)"), QString());
    for (const char *name : {"SCRAM-SHA-256", "SCRAM-SHA-1", "CRAM-MD5", "PLAIN", "LOGIN", "USER",
                             "XOAUTH2", "OAUTHBEARER"})
        m_mechanism->addItem(QString::fromLatin1(name), QString::fromLatin1(name));
    more->addRow(Ui("app", "Anmeldeverfahren:"), m_mechanism);
    m_passwordCommand = new QLineEdit(this);
    m_passwordCommand->setPlaceholderText(Ui("app", "z. B. pass show mail/pop"));
    more->addRow(Ui("app", "Kennwort-Befehl:"), m_passwordCommand);
    m_tokenCommand = new QLineEdit(this);
    more->addRow(Ui("app", "Token-Befehl (OAuth 2.0):"), m_tokenCommand);
    m_oauthProvider = new QLineEdit(this);
    m_oauthProvider->setPlaceholderText(Ui("app", "Anbieter, bei dem das Konto sich im Browser anmeldet"));
    more->addRow(Ui("app", "OAuth-Anbieter:"), m_oauthProvider);
    m_oauthClient = new QLineEdit(this);
    m_oauthClient->setPlaceholderText(Ui("app", "Client-ID einer beim Anbieter registrierten Anwendung"));
    more->addRow(Ui("app", "OAuth-Client-ID:"), m_oauthClient);
    m_oauthSecret = new QLineEdit(this);
    m_oauthSecret->setEchoMode(QLineEdit::Password);
    more->addRow(Ui("app", "OAuth-Client-Secret:"), m_oauthSecret);
    m_caFile = new QLineEdit(this);
    more->addRow(Ui("app", "CA-Datei:"), m_caFile);
    m_fingerprint = new QLineEdit(this);
    m_fingerprint->setPlaceholderText(Ui("app", "SHA-256 des einen Zertifikats, dem das Konto vertraut"));
    more->addRow(Ui("app", "Zertifikat:"), m_fingerprint);
    m_timeout = new QSpinBox(this);
    m_timeout->setRange(0, 600);
    m_timeout->setSpecialValueText(Ui("app", "20 (Vorgabe)"));
    m_timeout->setSuffix(QStringLiteral(" s"));
    more->addRow(Ui("app", "Wartezeit:"), m_timeout);
    m_patterns = new QLineEdit(this);
    m_patterns->setPlaceholderText(QString::fromLatin1(CDirectDeletePatterns::kFileName));
    more->addRow(Ui("app", "Musterdatei:"), m_patterns);
    m_notify = new QCheckBox(Ui("app", "Benachrichtigen"), this);
    more->addRow(QString(), m_notify);
    // POP3 has no folders: there a match can only be deleted.
    m_matches = new QComboBox(this);
    m_matches->addItem(Ui("app", "löschen"), QStringLiteral("delete"));
    m_matches->addItem(Ui("app", "in Spam-Ordner verschieben"), QStringLiteral("move"));
    m_matches->setToolTip(Ui("app", "Nur für IMAP-Konten (imap://, imaps://)"));
    more->addRow(Ui("app", "Treffer:"), m_matches);
    m_spamFolder = new QLineEdit(this);
    m_spamFolder->setPlaceholderText(Ui("app", "der Ordner, den der Server als Spam (\\Junk) kennzeichnet"));
    more->addRow(Ui("app", "Spam-Ordner:"), m_spamFolder);
    m_cache = new QCheckBox(Ui("app", "Bekannte Mails zwischenspeichern (nur Neues abrufen)"), this);
    more->addRow(QString(), m_cache);
    return more;
}

QHBoxLayout *CSettingsDlg::MakeInterval() {
    auto *every = new QHBoxLayout;
    m_interval = new QSpinBox(this);
    m_interval->setRange(0, 1440);
    m_interval->setSpecialValueText(Ui("app", "nie"));
    m_interval->setToolTip(Ui("app", "0: nur auf Knopfdruck prüfen"));
    auto *before = new QLabel(Ui("app", "alle"), this);
    before->setObjectName(QStringLiteral("every"));
    before->setBuddy(m_interval);
    every->addWidget(before);
    every->addWidget(m_interval);
    auto *unit = new QLabel(this);
    unit->setObjectName(QStringLiteral("unit"));
    // "alle 5 Minuten prüfen", "alle 1 Minute prüfen", "nie prüfen".
    const auto unitText = [unit, before](int minutes) {
        before->setText(minutes == 0 ? QString() : Ui("app", "alle"));
        unit->setText(minutes == 0   ? Ui("app", "prüfen (nur auf Knopfdruck)")
                      : minutes == 1 ? Ui("app", "Minute prüfen")
                                     : Ui("app", "Minuten prüfen"));
    };
    unitText(0);
    connect(m_interval, &QSpinBox::valueChanged, unit, unitText);
    every->addWidget(unit);
    every->addStretch(1);
    return every;
}

void CSettingsDlg::Wire() {
    // Tab order as the controls are listed.
    setTabOrder(m_address, m_server);
    setTabOrder(m_server, m_user);
    setTabOrder(m_user, m_password);
    setTabOrder(m_password, m_keyring);
    setTabOrder(m_keyring, m_name);
    setTabOrder(m_name, m_mechanism);
    setTabOrder(m_mechanism, m_passwordCommand);
    setTabOrder(m_passwordCommand, m_tokenCommand);
    setTabOrder(m_tokenCommand, m_oauthProvider);
    setTabOrder(m_oauthProvider, m_oauthClient);
    setTabOrder(m_oauthClient, m_oauthSecret);
    setTabOrder(m_oauthSecret, m_caFile);
    setTabOrder(m_caFile, m_fingerprint);
    setTabOrder(m_fingerprint, m_timeout);
    setTabOrder(m_timeout, m_patterns);
    setTabOrder(m_patterns, m_notify);
    setTabOrder(m_notify, m_matches);
    setTabOrder(m_matches, m_spamFolder);
    setTabOrder(m_spamFolder, m_cache);
    setTabOrder(m_cache, m_interval);
    setTabOrder(m_interval, m_test);
    setTabOrder(m_test, m_signIn);
    setTabOrder(m_signIn, m_ok);
    setTabOrder(m_ok, m_cancel);
    // Until the user picks what happens to matches, it follows the
    // server: an IMAP account moves them to the spam folder.
    connect(m_matches, &QComboBox::activated, this, [this] { m_matchesPicked = true; });
    connect(m_server, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (m_matchesPicked) return;
        AccountConfig typed;
        typed.host = Bytes(text);
        m_matches->setCurrentIndex(typed.MovesToSpam() ? 1 : 0);
    });
    connect(m_address, &QLineEdit::editingFinished, this, &CSettingsDlg::OnAddress);
    connect(m_ok, &QPushButton::clicked, this, &CSettingsDlg::accept);
    connect(m_cancel, &QPushButton::clicked, this, &CSettingsDlg::reject);
    connect(m_test, &QPushButton::clicked, this, &CSettingsDlg::OnTestConnection);
    connect(m_signIn, &QPushButton::clicked, this, &CSettingsDlg::OnSignIn);
    connect(m_oauthProvider, &QLineEdit::textChanged, this,
            [this](const QString &text) { m_signIn->setVisible(!text.trimmed().isEmpty()); });
    // Trusting it: the fingerprint goes into its field (stored with OK),
    // and the test runs again with it.
    connect(m_trust, &QPushButton::clicked, this, [this] {
        m_fingerprint->setText(m_untrusted);
        m_trust->hide();
        OnTestConnection();
    });
    connect(this, &CSettingsDlg::TestFinished, this, [this](bool ok, const QString &report) {
        m_testResult->setText((ok ? Ui("app", "Verbunden: ") : Ui("app", "Gescheitert: ")) + report);
        m_test->setEnabled(true);
    });
}

void CSettingsDlg::OnAddress() {
    const std::string address = Bytes(m_address->text().trimmed());
    if (address.empty()) return;
    ProviderServers provider;
    if (!FindProvider(address, &provider, LocalProviderTable(m_settings.ProfilePath()))) {
        // What the domain publishes itself, asked on a thread of its own.
        const size_t at = address.rfind('@');
        if (at == std::string::npos || m_lookupThread.joinable()) {
            m_found->setText(Ui("app", "Keine E-Mail-Adresse."));
            return;
        }
        m_found->setText(Ui("app", "Suche die Server der Domain ..."));
        m_lookupThread = std::thread([this, address, at] {
            ProviderServers published;
            std::string problem;
            const bool found =
                FetchAutoconfig(AutoconfigSources(address.substr(at + 1), address), address, &published, &problem,
                                &m_stopLookup) ||
                (!m_stopLookup && SrvServers(address, LookUpSrv, &published));
            QMetaObject::invokeMethod(
                this,
                [this, found, published] {
                    m_lookupThread.join();
                    if (found)
                        ShowServers(published);
                    else
                        m_found->setText(Ui("app",
                                            "Für diese Adresse ist kein Anbieter bekannt und die "
                                            "Domain nennt keine Server: bitte Server und "
                                            "Benutzername eintragen."));
                },
                Qt::QueuedConnection);
        });
        return;
    }
    ShowServers(provider);
}

void CSettingsDlg::ShowServers(const ProviderServers &provider) {
    m_server->setText(QString::fromStdString(PreferredServer(provider)));
    m_user->setText(QString::fromStdString(provider.user));
    m_oauthProvider->setText(provider.oauth ? QString::fromStdString(provider.domain) : QString());
    m_found->setText(!provider.oauth ? Ui("app", "Gefunden; vor dem Speichern änderbar.")
                     : provider.endpoints.clientId.empty() && m_oauthClient->text().isEmpty()
                         ? Ui("app",
                              "Gefunden. Dieser Anbieter nimmt nur OAuth 2.0 an: bitte die Client-ID "
                              "einer beim Anbieter registrierten Anwendung eintragen, dann \"Im Browser "
                              "anmelden\".")
                         : Ui("app",
                              "Gefunden. Dieser Anbieter nimmt nur OAuth 2.0 an: bitte \"Im Browser "
                              "anmelden\"."));
}

void CSettingsDlg::OnInitDialog() {
    m_account = CScanConfig::LoadSection(m_settings, m_section);
    m_server->setText(Shown(m_account.host));
    m_user->setText(Shown(m_account.user));
    m_keyring->setChecked(m_account.keyring);
    std::string password = CSettingsStore::ComplementPassword(m_account.storedPassword);
    if (m_account.keyring) {
        std::string problem;
        CCredentials::ReadKeyring(CCredentials::KeyringKey(m_account.user, m_account.Server().host),
                                  &password, &problem);
    }
    m_password->setText(Shown(password));
    m_interval->setValue(m_account.intervalMinutes);
    m_name->setText(Shown(m_account.name));
    const int mechanism = m_mechanism->findData(QString::fromStdString(m_account.mechanism));
    m_mechanism->setCurrentIndex(mechanism < 0 ? 0 : mechanism);
    m_passwordCommand->setText(Shown(m_account.passwordCommand));
    m_tokenCommand->setText(Shown(m_account.tokenCommand));
    m_oauthProvider->setText(Shown(m_account.oauthProvider));
    m_oauthClient->setText(Shown(m_account.oauthClient));
    m_oauthSecret->setText(Shown(m_account.oauthSecret));
    m_caFile->setText(Shown(m_account.caFile));
    m_fingerprint->setText(Shown(m_account.fingerprint));
    m_timeout->setValue(m_account.timeoutSeconds);
    m_patterns->setText(Shown(m_account.patternFile));
    m_notify->setChecked(m_account.notify);
    m_matches->setCurrentIndex(m_account.MovesToSpam() ? 1 : 0);
    m_matchesPicked = !m_account.matchAction.empty();
    // A name stored in IMAP's own form ("Spam-&AMQ-rger") shows as people
    // read it; stored again it is UTF-8, which goes out in the same form.
    std::string folder = m_account.spamFolder, readable;
    if (folder.find('&') != std::string::npos && DecodeMailboxName(folder, &readable)) folder = readable;
    m_spamFolder->setText(Shown(folder));
    m_cache->setChecked(m_account.cache);
    // A new account starts from its address.
    if (m_account.host.empty())
        m_address->setFocus();
    else
        m_server->setFocus();
}

CSettingsDlg::~CSettingsDlg() {
    if (m_testThread.joinable()) m_testThread.join();
    m_stopSignIn = true;
    if (m_signInThread.joinable()) m_signInThread.join();
    m_stopLookup = true;
    if (m_lookupThread.joinable()) m_lookupThread.join();
}

QString CSettingsDlg::TestResult() const { return m_testResult->text(); }

AccountConfig CSettingsDlg::FromFields() const {
    AccountConfig account = m_account;
    account.host = Bytes(m_server->text());
    account.user = Bytes(m_user->text());
    account.intervalMinutes = m_interval->value();
    account.name = Bytes(m_name->text());
    account.mechanism = Bytes(m_mechanism->currentData().toString());
    account.passwordCommand = Bytes(m_passwordCommand->text());
    account.tokenCommand = Bytes(m_tokenCommand->text());
    account.oauthProvider = Bytes(m_oauthProvider->text().trimmed());
    account.oauthClient = Bytes(m_oauthClient->text().trimmed());
    account.oauthSecret = Bytes(m_oauthSecret->text());
    if (!account.oauthProvider.empty() && account.providerTable.empty())
        account.providerTable = LocalProviderTable(m_settings.ProfilePath());
    account.caFile = Bytes(m_caFile->text());
    account.fingerprint = Bytes(m_fingerprint->text().trimmed());
    account.timeoutSeconds = m_timeout->value();
    account.patternFile = Bytes(m_patterns->text());
    account.notify = m_notify->isChecked();
    // (Left unset until picked: the default is what was shown.)
    if (account.Server().protocol == CServerAddress::Imap && m_matchesPicked)
        account.matchAction = Bytes(m_matches->currentData().toString());
    account.spamFolder = Bytes(m_spamFolder->text());
    account.cache = m_cache->isChecked();
    return account;
}

void CSettingsDlg::OnTestConnection() {
    if (m_testThread.joinable()) m_testThread.join();
    AccountConfig account = FromFields();
    // The password as typed, not as stored or in the keyring.
    account.keyring = false;
    account.storedPassword = CSettingsStore::ComplementPassword(Bytes(m_password->text()));
    m_test->setEnabled(false);
    m_testResult->setText(Ui("app", "Verbinde ..."));
    m_testThread = std::thread([this, account] {
        std::string report, untrusted;
        const bool ok = TestConnection(account, &report, &untrusted);
        QMetaObject::invokeMethod(
            this,
            [this, ok, report, untrusted] {
                m_untrusted = QString::fromStdString(untrusted);
                m_trust->setVisible(!m_untrusted.isEmpty());
                emit TestFinished(ok, QString::fromStdString(report));
            },
            Qt::QueuedConnection);
    });
}

void CSettingsDlg::OnSignIn() {
    if (m_signInThread.joinable()) return;  // one sign-in at a time
    const AccountConfig account = FromFields();
    OAuthEndpoints endpoints;
    if (!account.OAuthSignIn(&endpoints)) {
        m_testResult->setText(Ui("app", "Gescheitert: für \"%1\" ist kein Anbieter mit OAuth 2.0 bekannt")
                                  .arg(Shown(account.oauthProvider)));
        return;
    }
    m_signIn->setEnabled(false);
    m_testResult->setText(Ui("app", "Warte auf die Anmeldung im Browser ..."));
    // The wait and the token request on a thread of their own; the browser
    // is opened from the window's thread.
    m_signInThread = std::thread([this, account, endpoints] {
        OAuthTokens tokens;
        std::string problem;
        const auto open = [this](const std::string &url) {
            QMetaObject::invokeMethod(
                this, [url] { QDesktopServices::openUrl(QUrl(QString::fromStdString(url), QUrl::StrictMode)); },
                Qt::QueuedConnection);
            return true;
        };
        const bool signedIn =
            OAuth::BrowserSignIn(endpoints, account.caFile, account.user, open, &tokens, &problem, &m_stopSignIn) &&
            CCredentials::KeepOAuthTokens(account.user, account.Server().host, tokens, &problem);
        QMetaObject::invokeMethod(
            this,
            [this, signedIn, problem] {
                m_signInThread.join();
                m_signIn->setEnabled(true);
                m_testResult->setText(signedIn ? Ui("app", "Angemeldet; \"Verbindung testen\" prüft es.")
                                               : Ui("app", "Gescheitert: ") + QString::fromStdString(problem));
                emit SignInFinished(signedIn);
            },
            Qt::QueuedConnection);
    });
}

void CSettingsDlg::accept() {
    m_account = FromFields();
    std::string problem;
    if (!CCredentials::StorePassword(m_settings, m_account, Bytes(m_password->text()),
                                     m_keyring->isChecked(), &problem)) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Pelloru"),
                        Ui("app", "Das Kennwort wurde nicht gespeichert."), QMessageBox::Ok, this);
        box.setDetailedText(QString::fromStdString(problem));
        box.exec();
        return;
    }
    QDialog::accept();
}
