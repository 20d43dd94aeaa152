#include "CPelloruDoc.h"

#include <QFile>
#include <QFileDialog>

CPelloruDoc::CPelloruDoc(QObject *parent) : QObject(parent) {}

void CPelloruDoc::OnNewDocument() {}

void CPelloruDoc::OnOpenDocument(QWidget *owner) {
    QFileDialog::getOpenFileName(owner, QStringLiteral("Öffnen"));
}

void CPelloruDoc::OnSaveDocumentAs(QWidget *owner) {
    const QString path = QFileDialog::getSaveFileName(owner, QStringLiteral("Speichern unter"),
                                                      QStringLiteral("Unbenannt"));
    if (!path.isEmpty()) SaveEmpty(path);
}

bool CPelloruDoc::SaveEmpty(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate);
}
