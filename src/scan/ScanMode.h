// SPDX-License-Identifier: GPL-3.0-or-later
// What one scan does with the messages it fetches.
#pragma once

enum ScanMode { List = 0, DeleteSelected = 1, SaveSelected = 2 };
