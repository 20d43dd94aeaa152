// SPDX-License-Identifier: GPL-3.0-or-later
#include "CPelloruDoc.h"
#include "Ui.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>

CPelloruDoc::CPelloruDoc(QObject *parent) : QObject(parent) {}

void CPelloruDoc::OnNewDocument() {}

QString CPelloruDoc::AskSavePath(QWidget *owner) {
    QString path =
        QFileDialog::getSaveFileName(owner, Ui("app", "Zeilen speichern unter"), QStringLiteral("pelloru-zeilen.tsv"),
                                     Ui("app", "Tabelle mit Tabulatoren (*.tsv *.txt)"));
    // A name typed without an extension gets the table's.
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".tsv");
    return path;
}
