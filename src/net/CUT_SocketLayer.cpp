// SPDX-License-Identifier: GPL-3.0-or-later
#include "CUT_SocketLayer.h"

#include "SocketPlatform.h"

CUT_SocketLayer::~CUT_SocketLayer() = default;

int CUT_SocketLayer::OnConnected(SocketHandle, const char *) { return 0; }

int CUT_SocketLayer::RawClose(SocketHandle socket) { return net_platform::CloseSocket(socket); }

int CUT_SocketLayer::RawShutdown(SocketHandle socket, int how) {
    return net_platform::Shutdown(socket, how);
}

int CUT_SocketLayer::RawReceive(SocketHandle socket, char *buffer, int length, int flags) {
    return net_platform::Recv(socket, buffer, length, flags);
}

int CUT_SocketLayer::RawSend(SocketHandle socket, const char *data, int length, int flags) {
    return net_platform::Send(socket, data, length, flags);
}

int CUT_SocketLayer::RawBytesAvailable(SocketHandle socket) {
    return net_platform::BytesWaiting(socket) > 0 ? 1 : 0;
}

int CUT_SocketLayer::RawWaitReadable(SocketHandle socket, long seconds, long microseconds) {
    return net_platform::WaitReadable(socket, seconds, microseconds) == 1 ? 0 : 1;
}
