// SPDX-License-Identifier: GPL-3.0-or-later
// Why a conversation with the server failed, in the words of the program:
// the kind of failure (name resolution, refusal, time-out, TLS handshake,
// certificate, the server's own refusal, lost step, a stop by the user)
// and what the system, the TLS library or the server said about it. The
// window shows it as a message box's detail text; unattended runs print it.
//
// The facts are gathered where the failure happened (the session records
// the command, what came back and which limit ran out); turning them into
// a sentence is a pure function of them.
#pragma once

#include <string>
#include <vector>

#include "CUT_MailSession.h"
#include "ResultCode.h"

struct FailureFacts {
    ResultCode code = RC_OK;  // what the failed operation returned
    bool lostSync = false;    // the session closed without QUIT
    SessionFailure record;    // the session's record of the failure
    bool stopRequested = false;
    bool connected = false;   // a connection stood when it failed
    int errnoValue = 0;       // the system's error number of a failed connect
    std::string detail;       // the resolver's or the TLS library's text
    std::string fingerprint;  // SHA-256 of the certificate the server showed
    bool pinMismatch = false; // not the certificate trusted for the account
    std::string host;
    int port = 0;
    int waitSeconds = 0;
    std::string mechanism;        // of the log-on
    std::string authServerError;  // a refused token's JSON
    std::vector<std::string> saslMechanisms;
    // An IMAP conversation: no QUIT commits anything there, and its
    // greeting is an OK.
    bool imap = false;

    // What a session (POP3's or IMAP's) knows of the failure of an
    // operation that gave code; lastReply: the line it read last.
    static FailureFacts From(ResultCode code, const CUT_MailSession &session, const std::string &lastReply,
                             bool imap, const std::string &host, int waitSeconds);
};

std::string FailureReason(const FailureFacts &facts);

// A server's or library's text made fit for one line of display: control
// characters become '?', invalid UTF-8 is read as Windows-1252, and at
// most `most` characters are kept.
std::string OneLine(const std::string &text, size_t most = 300);
