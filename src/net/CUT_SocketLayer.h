// SPDX-License-Identifier: GPL-3.0-or-later
// The basic socket calls behind one overridable seam, so that a derived
// layer (an encrypting one, for instance) can replace them while everything
// built on the stream operations keeps working unchanged.
#pragma once

#include <cstdint>

#ifdef _WIN32
#include <winsock2.h>
using SocketHandle = SOCKET;
#else
using SocketHandle = int;
#endif

constexpr SocketHandle kNoSocket = static_cast<SocketHandle>(-1);

class CUT_SocketLayer {
public:
    virtual ~CUT_SocketLayer();

    // 0 keeps a new connection; any other value makes the caller close it
    // and return that value.
    virtual int OnConnected(SocketHandle socket, const char *host);
    virtual int RawClose(SocketHandle socket);
    virtual int RawShutdown(SocketHandle socket, int how);
    // Bytes read, 0 when the peer has closed, -1 on failure.
    virtual int RawReceive(SocketHandle socket, char *buffer, int length, int flags);
    virtual int RawSend(SocketHandle socket, const char *data, int length, int flags);
    // 1 when bytes are waiting to be read, else 0.
    virtual int RawBytesAvailable(SocketHandle socket);
    // 0 when the socket turns readable within the time, 1 otherwise.
    virtual int RawWaitReadable(SocketHandle socket, long seconds, long microseconds);
};
