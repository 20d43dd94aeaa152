// The document of the single-document window. It holds nothing: a new
// document is empty, opening reads nothing, saving writes an empty file.
#pragma once

#include <QObject>

class QWidget;

class CPelloruDoc : public QObject {
    Q_OBJECT
public:
    explicit CPelloruDoc(QObject *parent = nullptr);

    void OnNewDocument();
    // "Öffnen": a file dialog; the file chosen is not read.
    void OnOpenDocument(QWidget *owner);
    // "Speichern unter": a file dialog; the file chosen is written empty.
    void OnSaveDocumentAs(QWidget *owner);
    // Writes the empty document to a file; false when it cannot.
    static bool SaveEmpty(const QString &path);
};
