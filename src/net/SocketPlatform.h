// SPDX-License-Identifier: GPL-3.0-or-later
// The few operating-system socket calls the client needs, behind plain
// functions so that the classes above read the same on every platform.
// Errors are reported as POSIX errno values.
#pragma once

#include "CUT_SocketLayer.h"

namespace net_platform {

int CloseSocket(SocketHandle socket);
int Shutdown(SocketHandle socket, int how);
// recv/send that retry on EINTR; send never raises SIGPIPE.
int Recv(SocketHandle socket, char *buffer, int length, int flags);
int Send(SocketHandle socket, const char *data, int length, int flags);
// Bytes waiting in the receive queue, -1 when the query fails.
int BytesWaiting(SocketHandle socket);
// 1 when ready within the time, 0 on time-out, -1 on failure. A negative
// time counts as zero: one poll, never an endless wait. A hang-up or an
// error condition counts as ready, as select reports it.
int WaitReadable(SocketHandle socket, long seconds, long microseconds);
int WaitWritable(SocketHandle socket, long seconds, long microseconds);
int SetNonBlocking(SocketHandle socket, bool nonBlocking);
// The pending error of a socket (SO_ERROR), or the errno of the query.
int PendingError(SocketHandle socket);
int LastError();

}  // namespace net_platform
