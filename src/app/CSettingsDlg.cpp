#include "CSettingsDlg.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "CCredentials.h"
#include "CScanConfig.h"
#include "CSettingsStore.h"
#include "DisplayText.h"

namespace {

QString Shown(const std::string &bytes) { return QString::fromStdString(DisplayText(bytes)); }

std::string Bytes(const QString &text) { return text.toStdString(); }

}  // namespace

CSettingsDlg::CSettingsDlg(const CSettingsStore &settings, QWidget *parent,
                           const std::string &section)
    : QDialog(parent), m_settings(settings),
      m_section(section.empty() ? std::string(CScanConfig::kFirstSection) : section) {
    setWindowTitle(QStringLiteral("Einstellungen"));
    setModal(true);
    // Laid out by the fonts in use, so that no label is cut.
    auto *column = new QVBoxLayout(this);
    auto field = [&](const QString &label, QWidget *edit) {
        auto *text = new QLabel(label, this);
        text->setBuddy(edit);
        column->addWidget(text);
        column->addWidget(edit);
        column->addSpacing(4);
    };
    m_server = new QLineEdit(this);
    m_server->setMinimumWidth(m_server->fontMetrics().averageCharWidth() * 40);
    field(QStringLiteral("POP3 Server:"), m_server);
    m_user = new QLineEdit(this);
    field(QStringLiteral("Benutzername:"), m_user);
    m_password = new QLineEdit(this);
    m_password->setEchoMode(QLineEdit::Password);
    // The password is coded in a buffer of 256 bytes.
    m_password->setMaxLength(CSettingsStore::kPasswordSize - 1);
    field(QStringLiteral("Kennwort:"), m_password);
    m_keyring = new QCheckBox(QStringLiteral("Passwort im Schlüsselbund speichern"), this);
    column->addWidget(m_keyring);
    column->addSpacing(4);

    auto *every = new QHBoxLayout;
    m_interval = new QSpinBox(this);
    m_interval->setRange(0, 1440);
    m_interval->setSpecialValueText(QStringLiteral("nie"));
    m_interval->setToolTip(QStringLiteral("0: nur auf Knopfdruck prüfen"));
    auto *before = new QLabel(QStringLiteral("alle"), this);
    before->setBuddy(m_interval);
    every->addWidget(before);
    every->addWidget(m_interval);
    every->addWidget(new QLabel(QStringLiteral("Minuten prüfen"), this));
    every->addStretch(1);
    column->addLayout(every);
    column->addSpacing(8);

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setDefault(true);
    m_cancel = new QPushButton(QStringLiteral("Abbrechen"), this);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_cancel);
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    column->addLayout(buttons);
    column->setSizeConstraint(QLayout::SetFixedSize);
    // Tab order as the controls are listed.
    setTabOrder(m_server, m_user);
    setTabOrder(m_user, m_password);
    setTabOrder(m_password, m_keyring);
    setTabOrder(m_keyring, m_interval);
    setTabOrder(m_interval, m_ok);
    setTabOrder(m_ok, m_cancel);
    connect(m_ok, &QPushButton::clicked, this, &CSettingsDlg::accept);
    connect(m_cancel, &QPushButton::clicked, this, &CSettingsDlg::reject);
    OnInitDialog();
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
    m_server->setFocus();
}

void CSettingsDlg::accept() {
    m_account.host = Bytes(m_server->text());
    m_account.user = Bytes(m_user->text());
    m_account.intervalMinutes = m_interval->value();
    std::string problem;
    if (!CCredentials::StorePassword(m_settings, m_account, Bytes(m_password->text()),
                                     m_keyring->isChecked(), &problem)) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Pelloru"),
                        QStringLiteral("Das Kennwort wurde nicht gespeichert."), QMessageBox::Ok, this);
        box.setDetailedText(QString::fromStdString(problem));
        box.exec();
        return;
    }
    QDialog::accept();
}
