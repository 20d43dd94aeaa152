// SPDX-License-Identifier: GPL-3.0-or-later
// The proof that a backup holds exactly the message that was examined,
// and all of it, before that message may be removed from the server.
//
// A reply can belong to another command than the one it seems to answer
// (a stray line, an extra reply, a proxy in the path), and some servers cut
// a RETR short. So the backup must begin with the very bytes the message's
// TOP reply brought (header block and first body lines; TOP and RETR of one
// message give the same bytes within a session), and its length must agree
// with what LIST said of it, and with the octet count of the RETR's "+OK"
// line where the server gave one.
#pragma once

#include <string>

// How far a backup's length may stray from the size the server announced:
// servers count a message without a final line end 2 bytes short (the line
// end they add to send it), and some shift sizes by a byte between sessions.
constexpr long kProofSizeTolerance = 2;

// Empty when the file at path proves to be the message: it begins with
// top (may be empty: nothing to compare) and its length is within the
// tolerance of listed and of announced (below 0: none given). Otherwise
// why not, in German.
std::string ProveBackup(const std::string &path, const std::string &top, long listed,
                        long announced);
