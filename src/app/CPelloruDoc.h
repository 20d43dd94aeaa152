// SPDX-License-Identifier: GPL-3.0-or-later
// The document of the single-document window. It holds nothing of its
// own: the rows are the view's; it asks where they are to be saved.
#pragma once

#include <QObject>
#include <QString>

class QWidget;

class CPelloruDoc : public QObject {
    Q_OBJECT
public:
    explicit CPelloruDoc(QObject *parent = nullptr);

    void OnNewDocument();
    // "Zeilen speichern unter...": a file dialog; empty when cancelled.
    static QString AskSavePath(QWidget *owner);
};
