// SPDX-License-Identifier: GPL-3.0-or-later
// How a check of one account ended, as a value: the window, the runs of
// several accounts and the exit statuses all read it, none of them from
// text.
#pragma once

enum ScanOutcome {
    NotRun,
    ConnectionFailed,  // no connection, or the log-on was refused
    NoMessages,
    Scanned,
    MailboxFailed,     // the server would not say what the mailbox holds (STAT, LIST)
    Interrupted,       // the conversation broke off; marked deletions did not happen
    Cancelled,         // stopped by the user; what was marked is committed
    MessagesFailed,    // scanned, but a matched message could not be backed up or deleted
    Uncertain,         // QUIT (or an IMAP removal) went out unconfirmed: deletions may have happened
    AccountBusy,       // another run held the account's lock for the whole wait; nothing was done
};

// The graver of two outcomes: what a check of several accounts reports.
// From the least: a check that ran (or found nothing), stopped, busy, no
// log-on, no mailbox, messages failed, broken off, uncertain.
ScanOutcome GraverOutcome(ScanOutcome a, ScanOutcome b);
// Whether the account was not checked at all (no connection or log-on,
// no mailbox, a conversation broken off, busy).
bool AccountNotChecked(ScanOutcome outcome);
