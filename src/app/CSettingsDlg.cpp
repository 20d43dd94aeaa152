#include "CSettingsDlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "CSettingsStore.h"
#include "DialogUnits.h"
#include "DisplayText.h"

namespace {

QString Shown(const std::string &bytes) { return QString::fromStdString(DisplayText(bytes)); }

std::string Bytes(const QString &text) { return text.toStdString(); }

}  // namespace

CSettingsDlg::CSettingsDlg(const CSettingsStore &settings, QWidget *parent)
    : QDialog(parent), m_settings(settings) {
    setWindowTitle(QStringLiteral("Einstellungen"));
    setModal(true);
    QFont font = this->font();
    font.setPointSize(8);
    setFont(font);
    auto place = [&](QWidget *widget, int id, int l, int t, int w, int h) {
        widget->setObjectName(QString::number(id));
        widget->setGeometry(DialogUnitsToPixels(font, l, t, w, h));
    };
    const QRect size = DialogUnitsToPixels(font, 0, 0, 202, 143);
    setFixedSize(size.width(), size.height());

    place(new QLabel(QStringLiteral("POP3 Server:"), this), 1890, 7, 7, 174, 8);
    m_server = new QLineEdit(this);
    place(m_server, 1896, 7, 18, 174, 14);
    place(new QLabel(QStringLiteral("Benutzername:"), this), 1891, 7, 39, 174, 8);
    m_user = new QLineEdit(this);
    place(m_user, 1898, 7, 50, 174, 14);
    place(new QLabel(QStringLiteral("Kennwort:"), this), 1893, 7, 71, 174, 8);
    m_password = new QLineEdit(this);
    m_password->setEchoMode(QLineEdit::Password);
    // The password is coded in a buffer of 256 bytes.
    m_password->setMaxLength(CSettingsStore::kPasswordSize - 1);
    place(m_password, 1899, 7, 82, 174, 14);
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setDefault(true);
    place(m_ok, 1, 145, 122, 50, 14);
    m_cancel = new QPushButton(QStringLiteral("Abbrechen"), this);
    place(m_cancel, 2, 7, 122, 50, 14);
    // Tab order as the controls were listed.
    setTabOrder(m_server, m_user);
    setTabOrder(m_user, m_password);
    setTabOrder(m_password, m_ok);
    setTabOrder(m_ok, m_cancel);
    connect(m_ok, &QPushButton::clicked, this, &CSettingsDlg::accept);
    connect(m_cancel, &QPushButton::clicked, this, &CSettingsDlg::reject);
    OnInitDialog();
}

void CSettingsDlg::OnInitDialog() {
    m_server->setText(Shown(m_settings.Read("HOST")));
    m_user->setText(Shown(m_settings.Read("USER")));
    m_password->setText(Shown(CSettingsStore::ComplementPassword(m_settings.Read("PASS"))));
    m_server->setFocus();
}

void CSettingsDlg::accept() {
    m_settings.Write("HOST", Bytes(m_server->text()));
    m_settings.Write("USER", Bytes(m_user->text()));
    m_settings.Write("PASS", CSettingsStore::ComplementPassword(Bytes(m_password->text())));
    QDialog::accept();
}
