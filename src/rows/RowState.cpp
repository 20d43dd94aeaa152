// SPDX-License-Identifier: GPL-3.0-or-later
#include "RowState.h"

#include "Translate.h"

std::string RowStateText(RowState state, const std::string &detail) {
    switch (state) {
    case RowState::None: return detail;
    case RowState::WouldDelete: return std::string(Tr("rows", "würde gelöscht=")) + detail;
    case RowState::Deleted: return std::string(Tr("rows", "gelöscht=")) + detail;
    case RowState::Moved: return std::string(Tr("rows", "verschoben=")) + detail;
    case RowState::Kept: return std::string(Tr("rows", "behalten=")) + detail;
    case RowState::Flagged:
        return std::string(Tr("rows", "als gelöscht markiert (ohne UIDPLUS nicht entfernt)=")) + detail;
    case RowState::UncertainQuit: return Tr("rows", "ungewiss: Server hat QUIT nicht beantwortet");
    case RowState::UncertainRemoval: return Tr("rows", "ungewiss: Server hat die Entfernung nicht bestätigt");
    case RowState::Failed: return Tr("rows", "fehler beim löschen");
    case RowState::NotProven: return Tr("rows", "fehler beim löschen: Sicherung ist nicht diese Nachricht");
    case RowState::NotUnique: return Tr("rows", "nicht eindeutig");
    case RowState::NotFound: return Tr("rows", "nicht gefunden");
    case RowState::DeletedSelected: return Tr("rows", "Gelöscht");
    }
    return detail;
}

bool RowRemoved(RowState state) {
    return state == RowState::Deleted || state == RowState::Moved || state == RowState::Flagged ||
           state == RowState::DeletedSelected;
}
