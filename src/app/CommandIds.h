// SPDX-License-Identifier: GPL-3.0-or-later
// The command identifiers of menus, toolbar and context menu.
#pragma once

enum CommandId {
    ID_CHECK = 32771,
    ID_COPY_CELL = 32772,
    ID_DELETE = 32773,
    ID_SETTINGS = 32774,
    ID_SAVE = 32775,
    ID_CANCEL = 32776,
    ID_CHECK_DRY = 32777,
    ID_BLOCK_SENDER = 32778,
    ID_BLOCK_SUBJECT = 32779,
    ID_ALLOW_SENDER = 32780,
    ID_RULES = 32781,
    ID_FILE_NEW = 57600,
    ID_FILE_OPEN = 57601,
    ID_FILE_SAVE = 57603,
    ID_EDIT_COPY = 57634,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
};
