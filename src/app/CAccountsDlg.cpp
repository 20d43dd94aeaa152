// SPDX-License-Identifier: GPL-3.0-or-later
#include "CAccountsDlg.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "CUT_MailSession.h"
#include "CSettingsDlg.h"
#include "CSettingsStore.h"
#include "Ui.h"

namespace {

// The server as a URL: protocol, TLS, host and port.
std::string Where(const CServerAddress &server) {
    const bool imap = server.protocol == CServerAddress::Imap;
    const bool implicit = server.tlsMode == CUT_MailSession::TLS_IMPLICIT;
    const char *scheme = imap       ? (implicit ? "imaps" : "imap")
                         : implicit ? "pop3s"
                         : server.tlsMode == CUT_MailSession::TLS_STARTTLS ? "pop3+stls"
                                                                          : "pop3";
    const int port = server.port != 0 ? server.port : imap ? (implicit ? 993 : 143) : implicit ? 995 : 110;
    return std::string(scheme) + "://" + server.host + ":" + std::to_string(port);
}

}  // namespace

CAccountsDlg::CAccountsDlg(const CSettingsStore &settings, QWidget *parent)
    : QDialog(parent), m_settings(settings) {
    setWindowTitle(Ui("app", "Konten"));
    setModal(true);
    auto *row = new QHBoxLayout(this);
    m_list = new QListWidget(this);
    m_list->setMinimumWidth(m_list->fontMetrics().averageCharWidth() * 40);
    row->addWidget(m_list, 1);
    auto *buttons = new QVBoxLayout;
    m_add = new QPushButton(Ui("app", "Hinzufügen"), this);
    m_edit = new QPushButton(Ui("app", "Bearbeiten"), this);
    m_remove = new QPushButton(Ui("app", "Entfernen"), this);
    auto *close = new QPushButton(Ui("app", "Schließen"), this);
    for (QPushButton *button : {m_add, m_edit, m_remove}) buttons->addWidget(button);
    buttons->addStretch(1);
    buttons->addWidget(close);
    row->addLayout(buttons);
    m_editor = [this](const std::string &section) {
        CSettingsDlg editor(m_settings, this, section);
        editor.exec();
    };
    connect(m_add, &QPushButton::clicked, this, &CAccountsDlg::OnAdd);
    connect(m_edit, &QPushButton::clicked, this, &CAccountsDlg::OnEdit);
    connect(m_remove, &QPushButton::clicked, this, &CAccountsDlg::OnRemove);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &CAccountsDlg::OnEdit);
    connect(close, &QPushButton::clicked, this, &CAccountsDlg::accept);
    connect(m_list, &QListWidget::currentRowChanged, this, [this](int current) {
        m_edit->setEnabled(current >= 0);
        m_remove->setEnabled(current >= 0);
    });
    Reload();
}

void CAccountsDlg::Reload() {
    const int current = m_list->currentRow();
    m_accounts = CScanConfig::Load(m_settings);
    // A profile without any server shows no account yet.
    if (m_accounts.size() == 1 && m_accounts.front().host.empty() && m_accounts.front().name.empty())
        m_accounts.clear();
    m_list->clear();
    for (const AccountConfig &account : m_accounts) {
        const CServerAddress server = account.Server();
        m_list->addItem(QString::fromStdString(account.DisplayName() + "  (" + Where(server) + ")"));
    }
    m_list->setCurrentRow(current < 0 ? (m_accounts.empty() ? -1 : 0)
                                      : std::min(current, static_cast<int>(m_accounts.size()) - 1));
    m_edit->setEnabled(m_list->currentRow() >= 0);
    m_remove->setEnabled(m_list->currentRow() >= 0);
}

void CAccountsDlg::OnAdd() {
    m_editor(CScanConfig::FreeSection(m_settings));
    Reload();
    m_list->setCurrentRow(m_list->count() - 1);
}

void CAccountsDlg::OnEdit() {
    const int current = m_list->currentRow();
    if (current < 0 || current >= static_cast<int>(m_accounts.size())) return;
    m_editor(m_accounts[static_cast<size_t>(current)].section);
    Reload();
}

void CAccountsDlg::OnRemove() {
    const int current = m_list->currentRow();
    if (current < 0 || current >= static_cast<int>(m_accounts.size())) return;
    const AccountConfig &account = m_accounts[static_cast<size_t>(current)];
    QMessageBox ask(QMessageBox::Question, QStringLiteral("Pelloru"),
                    Ui("app", "Konto \"%1\" entfernen?").arg(QString::fromStdString(account.DisplayName())),
                    QMessageBox::Yes | QMessageBox::No, this);
    if (ask.exec() != QMessageBox::Yes) return;
    CScanConfig::Remove(m_settings, account);
    Reload();
}
