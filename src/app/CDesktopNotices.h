// SPDX-License-Identifier: GPL-3.0-or-later
// New-mail notices one can act on: sent to the desktop's notification
// service (freedesktop notifications over D-Bus) with buttons, where the
// service offers actions. Whoever shows a notice names it with a token;
// a button pressed comes back with that token and the button's key.
// Everything is asynchronous: the window never waits for the service.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>

#include <map>

class CDesktopNotices : public QObject {
    Q_OBJECT
public:
    explicit CDesktopNotices(QObject *parent = nullptr);
    // The bus to use (the session bus unless set); asks the service what
    // it can do.
    void SetBus(const QDBusConnection &bus);
    // Whether the service is there and shows buttons (known once it answered).
    bool OffersActions() const { return m_actions; }
    // actions: key, label, key, label, ...
    void Show(const QString &title, const QString &text, const QStringList &actions, const QString &token);

signals:
    void ActionInvoked(const QString &token, const QString &action);
    // The service answered whether it offers actions.
    void Ready();

private slots:
    void OnActionInvoked(uint id, const QString &action);

private:
    QDBusConnection m_bus;
    bool m_actions = false;
    std::map<uint, QString> m_tokens;  // notice id -> token
};
