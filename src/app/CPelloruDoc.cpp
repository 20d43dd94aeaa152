#include "CPelloruDoc.h"

#include <QFile>
#include <QFileDialog>

CPelloruDoc::CPelloruDoc(QObject *parent) : QObject(parent) {}

void CPelloruDoc::OnNewDocument() {}

QString CPelloruDoc::AskSavePath(QWidget *owner) {
    return QFileDialog::getSaveFileName(owner, QStringLiteral("Zeilen speichern unter"),
                                        QStringLiteral("pelloru-zeilen.tsv"),
                                        QStringLiteral("Tabelle mit Tabulatoren (*.tsv *.txt)"));
}
