// SPDX-License-Identifier: GPL-3.0-or-later
// The about box "Info über Pelloru".
#pragma once

#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kResourceId = 100;
    explicit CAboutDlg(QWidget *parent = nullptr);
};
