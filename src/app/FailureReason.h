// Why a conversation with the server failed, in the words of the program:
// the kind of failure (name resolution, refusal, time-out, TLS handshake,
// certificate, the server's own refusal, lost step, a stop by the user)
// and what the system, the TLS library or the server said about it. The
// window shows it as a message box's detail text; unattended runs print it.
#pragma once

#include <string>

#include "ResultCode.h"

class CUT_Pop3Session;

// code: what the failed operation returned. host and port: as the scan
// tried them; waitSeconds: its wait for the server.
std::string FailureReason(ResultCode code, const CUT_Pop3Session &session, const std::string &host,
                          int port, int waitSeconds);

// A server's or library's text made fit for one line of display: control
// characters become '?', invalid UTF-8 is read as Windows-1252, and at
// most 300 characters are kept.
std::string OneLine(const std::string &text);
