// SPDX-License-Identifier: GPL-3.0-or-later
// One numbering of outcomes shared by every library layer: 0 is success,
// every other value one kind of failure. The numbers are sparse and fixed;
// callers and stored logs may rely on them.
#pragma once

#include <cstdint>

using ResultCode = int32_t;

constexpr ResultCode RC_OK = 0;
constexpr ResultCode RC_ERROR = 1;
constexpr ResultCode RC_NO_CONNECTION = 5;
constexpr ResultCode RC_NOT_CONNECTED = 6;
constexpr ResultCode RC_HOST_NOT_FOUND = 7;
constexpr ResultCode RC_NO_REPLY = 12;
constexpr ResultCode RC_NO_SOCKET = 15;
constexpr ResultCode RC_SOCKET_IN_USE = 16;
constexpr ResultCode RC_SOCKET_FAILED = 17;
constexpr ResultCode RC_BIND_FAILED = 18;
constexpr ResultCode RC_CONNECT_FAILED = 19;
constexpr ResultCode RC_RECEIVE_TIMEOUT = 20;
constexpr ResultCode RC_RECEIVE_FAILED = 21;
constexpr ResultCode RC_SEND_FAILED = 22;
constexpr ResultCode RC_LISTEN_FAILED = 23;
constexpr ResultCode RC_BAD_MODE = 26;
constexpr ResultCode RC_TARGET_OPEN_FAILED = 27;
constexpr ResultCode RC_DATA_ENDED = 33;
constexpr ResultCode RC_BUFFER_TOO_SMALL = 35;
constexpr ResultCode RC_NULL_ARGUMENT = 36;
constexpr ResultCode RC_BAD_REPLY = 37;
constexpr ResultCode RC_NO_SUCH_ENTRY = 39;
constexpr ResultCode RC_RETR_REFUSED = 48;
constexpr ResultCode RC_LIST_REFUSED = 50;
constexpr ResultCode RC_USER_REFUSED = 53;
constexpr ResultCode RC_PASS_REFUSED = 55;
constexpr ResultCode RC_STAT_REFUSED = 56;
constexpr ResultCode RC_TOP_REFUSED = 57;
constexpr ResultCode RC_UIDL_REFUSED = 58;
constexpr ResultCode RC_DELE_REFUSED = 59;
constexpr ResultCode RC_RSET_REFUSED = 60;
constexpr ResultCode RC_MESSAGE_OPEN_FAILED = 74;
constexpr ResultCode RC_MESSAGE_CLOSE_FAILED = 75;
constexpr ResultCode RC_SOURCE_OPEN_FAILED = 81;
constexpr ResultCode RC_SOURCE_CLOSE_FAILED = 82;
constexpr ResultCode RC_SOURCE_WRITE_FAILED = 83;
constexpr ResultCode RC_NOT_7BIT = 84;
constexpr ResultCode RC_LINE_TOO_LONG = 85;
constexpr ResultCode RC_ABORTED = 98;
constexpr ResultCode RC_HOST_NOT_RESOLVED = 100;
constexpr ResultCode RC_EMPTY_TEXT = 106;
constexpr ResultCode RC_OUT_OF_MEMORY = 108;
constexpr ResultCode RC_BAD_ENCODING = 148;
constexpr ResultCode RC_BAD_CHARSET = 149;
constexpr ResultCode RC_CHARSET_TOO_LONG = 150;
constexpr ResultCode RC_MALFORMED_WORD = 151;

// Secure connections (codes of their own, beyond the shared table above).
constexpr ResultCode RC_TLS_FAILED = 170;            // the TLS handshake or channel failed
constexpr ResultCode RC_CERTIFICATE_REJECTED = 171;  // the server's certificate did not verify
constexpr ResultCode RC_STLS_REFUSED = 172;          // the server offers no STLS or refused it

// The POP3 conversation lost step: a reply was late, unreadable, overlong
// or out of order. The connection is closed without QUIT (so the server
// commits no deletion) and every later command of the session gives this.
constexpr ResultCode RC_LOST_SYNC = 173;
// The server answered QUIT with -ERR: its deletions may not have happened.
constexpr ResultCode RC_QUIT_REFUSED = 174;
// No log-on mechanism that both sides speak may be used here (or the one
// named is unknown, or an OAuth mechanism has no token).
constexpr ResultCode RC_NO_MECHANISM = 175;
// QUIT went out and no answer came: whether the server committed the
// marked deletions cannot be known.
constexpr ResultCode RC_QUIT_UNANSWERED = 176;
// A SCRAM log-on that the server accepted without proving it knows the
// password (no verified server signature): the peer may be an impostor.
constexpr ResultCode RC_SERVER_UNPROVEN = 177;
// A user name, password or token that holds a line break or NUL: sent as
// it is, it would smuggle a command of its own into the conversation.
constexpr ResultCode RC_UNSAFE_CREDENTIAL = 178;
// A retrieved message is not the one that was examined, or not all of it
// (its start differs from its TOP reply, or its length from LIST).
constexpr ResultCode RC_NOT_THE_MESSAGE = 179;
// A removal went out and the server's evidence for it did not come (no
// tagged answer, or no EXPUNGE for that message): it may have happened.
constexpr ResultCode RC_REMOVAL_UNCERTAIN = 180;
// The server ended a fetch with OK but sent nothing for a message asked.
constexpr ResultCode RC_NO_MESSAGE_DATA = 181;
