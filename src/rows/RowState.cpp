// SPDX-License-Identifier: GPL-3.0-or-later
#include "RowState.h"

std::string RowStateText(RowState state, const std::string &detail) {
    switch (state) {
    case RowState::None: return detail;
    case RowState::WouldDelete: return "würde gelöscht=" + detail;
    case RowState::Deleted: return "gelöscht=" + detail;
    case RowState::Moved: return "verschoben=" + detail;
    case RowState::Kept: return "behalten=" + detail;
    case RowState::Flagged: return "als gelöscht markiert (ohne UIDPLUS nicht entfernt)=" + detail;
    case RowState::UncertainQuit: return "ungewiss: Server hat QUIT nicht beantwortet";
    case RowState::UncertainRemoval: return "ungewiss: Server hat die Entfernung nicht bestätigt";
    case RowState::Failed: return "fehler beim löschen";
    case RowState::NotProven: return "fehler beim löschen: Sicherung ist nicht diese Nachricht";
    case RowState::NotUnique: return "nicht eindeutig";
    case RowState::NotFound: return "nicht gefunden";
    case RowState::DeletedSelected: return "Gelöscht";
    }
    return detail;
}

bool RowRemoved(RowState state) {
    return state == RowState::Deleted || state == RowState::Moved || state == RowState::Flagged ||
           state == RowState::DeletedSelected;
}
