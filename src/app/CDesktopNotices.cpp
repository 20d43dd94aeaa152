// SPDX-License-Identifier: GPL-3.0-or-later
#include "CDesktopNotices.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace {
const char *const kService = "org.freedesktop.Notifications";
const char *const kPath = "/org/freedesktop/Notifications";
const char *const kInterface = "org.freedesktop.Notifications";
}  // namespace

CDesktopNotices::CDesktopNotices(QObject *parent)
    : QObject(parent), m_bus(QDBusConnection(QStringLiteral("pelloru-no-bus"))) {}

void CDesktopNotices::SetBus(const QDBusConnection &bus) {
    m_bus = bus;
    m_actions = false;
    if (!m_bus.isConnected()) return;
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                  SLOT(OnActionInvoked(uint, QString)));
    const QDBusMessage ask = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("GetCapabilities"));
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(ask), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *call) {
        const QDBusPendingReply<QStringList> reply = *call;
        m_actions = !reply.isError() && reply.value().contains(QStringLiteral("actions"));
        call->deleteLater();
        emit Ready();
    });
}

void CDesktopNotices::Show(const QString &title, const QString &text, const QStringList &actions,
                           const QString &token) {
    QDBusMessage notify = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    // The body may hold markup for the service: what a message says is
    // escaped, so "<" and "&" show as they are. Expiry 0: the notice stays
    // until it is dismissed.
    notify << QStringLiteral("Pelloru") << uint(0) << QStringLiteral("pelloru") << title << text.toHtmlEscaped()
           << actions << QVariantMap() << int(0);
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(notify), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, token](QDBusPendingCallWatcher *call) {
        const QDBusPendingReply<uint> reply = *call;
        if (!reply.isError()) m_tokens[reply.value()] = token;
        call->deleteLater();
    });
}

void CDesktopNotices::OnActionInvoked(uint id, const QString &action) {
    const auto found = m_tokens.find(id);
    if (found != m_tokens.end()) emit ActionInvoked(found->second, action);
}
