// SPDX-License-Identifier: GPL-3.0-or-later
#include "ScanOutcome.h"

namespace {

int Rank(ScanOutcome outcome) {
    switch (outcome) {
    case Cancelled: return 1;
    case AccountBusy: return 2;
    case ConnectionFailed: return 3;
    case MailboxFailed: return 4;
    case MessagesFailed: return 5;
    case Interrupted: return 6;
    case Uncertain: return 7;
    default: return 0;
    }
}

}  // namespace

ScanOutcome GraverOutcome(ScanOutcome a, ScanOutcome b) {
    if (a == NotRun) return b;
    if (b == NotRun) return a;
    return Rank(b) > Rank(a) ? b : a;
}

bool AccountNotChecked(ScanOutcome outcome) {
    return outcome == ConnectionFailed || outcome == MailboxFailed || outcome == Interrupted ||
           outcome == AccountBusy;
}
