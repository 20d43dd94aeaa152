// SPDX-License-Identifier: GPL-3.0-or-later
// What happened to a row's message, as a value the rows keep; the words
// of column 0 are made from it only where a row is shown or printed.
#pragma once

#include <string>

enum class RowState : unsigned char {
    None,              // column 0 holds the sender
    WouldDelete,       // a dry run: a pattern matched (detail: the pattern)
    Deleted,           // a pattern's match was deleted (detail: the pattern)
    Moved,             // ... moved to the spam folder (IMAP)
    Kept,              // matched, and the allow-list kept it (detail: its line)
    Flagged,           // only flagged \Deleted: no UID EXPUNGE (detail: the pattern)
    UncertainQuit,     // deleted, but QUIT went unanswered: may have happened
    UncertainRemoval,  // an IMAP removal went out unconfirmed: may have happened
    Failed,            // could not be backed up or removed
    NotProven,         // its backup did not prove to be this message
    NotUnique,         // a selected row naming no single message
    NotFound,          // a selected row whose message is gone
    DeletedSelected,   // a selected row's message deleted ("Gelöscht")
};

// Column 0 of a row in this state.
std::string RowStateText(RowState state, const std::string &detail = {});
// Whether the message left the mailbox (or is flagged to).
bool RowRemoved(RowState state);
