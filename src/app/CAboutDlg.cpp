// SPDX-License-Identifier: GPL-3.0-or-later
#include "CAboutDlg.h"
#include "Ui.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CAboutDlg::CAboutDlg(QWidget *parent) : QDialog(parent) {
    setWindowTitle(Ui("app", "Info über Pelloru"));
    // Laid out by the fonts in use, so that no line is cut whatever font
    // the desktop has.
    auto *icon = new QLabel(this);
    icon->setPixmap(QApplication::windowIcon().pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);
    auto *version = new QLabel(QStringLiteral("Pelloru Version 1.4"), this);
    auto *notice = new QLabel(Ui("app",
                                 "Prüft POP3- und IMAP-Postfächer und löscht,\n"
                                 "was die eigenen Muster treffen.\n"
                                 "Jede gelöschte Mail wird vorher gesichert."),
                              this);
    auto *copyright = new QLabel(Ui("app", "Copyright © 2026 die Pelloru-Entwickler"), this);
    copyright->setObjectName(QStringLiteral("copyright"));
    // The terms, with where to read them.
    auto *license = new QLabel(Ui("app",
                                  "Freie Software unter der GNU General Public License,\n"
                                  "Version 3 oder (nach Wahl) jeder späteren Version\n"
                                  "(GPL-3.0-or-later); ohne jede Gewährleistung."),
                               this);
    license->setObjectName(QStringLiteral("license"));
    notice->setObjectName(QStringLiteral("notice"));
    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto *texts = new QVBoxLayout;
    texts->addWidget(version);
    texts->addSpacing(6);
    texts->addWidget(notice);
    texts->addSpacing(6);
    texts->addWidget(copyright);
    texts->addWidget(license);
    auto *top = new QHBoxLayout;
    top->addWidget(icon);
    top->addSpacing(12);
    top->addLayout(texts, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    auto *all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addLayout(buttons);
    all->setSizeConstraint(QLayout::SetFixedSize);
}
