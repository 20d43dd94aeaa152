#include "CAboutDlg.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include "DialogUnits.h"

CAboutDlg::CAboutDlg(QWidget *parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Info über Pelloru"));
    QFont font = this->font();
    font.setPointSize(8);
    setFont(font);
    const QRect size = DialogUnitsToPixels(font, 0, 0, 236, 66);
    setFixedSize(size.width(), size.height());

    auto *icon = new QLabel(this);
    icon->setPixmap(QApplication::windowIcon().pixmap(32, 32));
    const QRect at = DialogUnitsToPixels(font, 11, 17, 0, 0);
    icon->setGeometry(at.x(), at.y(), 32, 32);
    auto *version = new QLabel(QStringLiteral("Pelloru Version 1.4"), this);
    version->setGeometry(DialogUnitsToPixels(font, 40, 10, 119, 8));
    auto *notice = new QLabel(QStringLiteral("Prüft ein POP3-Postfach und löscht,\n"
                                             "was die eigenen Muster treffen.\n"
                                             "Jede gelöschte Mail wird vorher gesichert."),
                              this);
    notice->setGeometry(DialogUnitsToPixels(font, 40, 25, 119, 25));
    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    ok->setGeometry(DialogUnitsToPixels(font, 179, 45, 50, 14));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
