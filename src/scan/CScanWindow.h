// SPDX-License-Identifier: GPL-3.0-or-later
// What the scan needs of the main window: its title for progress, an
// immediate repaint of the list, and a modal message box (caption
// "Pelloru", warning icon, one OK button) with the reason of a failure as
// its detail text.
#pragma once

#include <string>

class CScanWindow {
public:
    virtual ~CScanWindow() = default;
    virtual void SetTitle(const std::string &title) = 0;
    virtual void RepaintList() = 0;
    // detail: why it happened, empty when there is nothing to add.
    virtual void ShowMessage(const std::string &text, const std::string &detail) = 0;
    // Messages handled of all there are, for a progress indicator.
    virtual void Progress(long done, long total) { (void)done, (void)total; }
    // How far the scan is, as numbers, with the title that says so
    // ("pelloru - 3 von 10 E-Mails"): by default that title and Progress.
    virtual void Counted(long done, long total, const std::string &title) {
        SetTitle(title);
        Progress(done, total);
    }
    // A failure that a row shows (a message that could not be deleted);
    // no box, but unattended runs report it.
    virtual void RowFailed(const std::string &text, const std::string &detail) {
        (void)text, (void)detail;
    }
    // A message saved ("In Datei sichern") into this file.
    virtual void Saved(const std::string &path) { (void)path; }
    // Something the user must know that is no failure of the check (a rule
    // file not used, the cache rebuilt): no box; the status bar shows it,
    // unattended runs print it.
    virtual void Notice(const std::string &text) { (void)text; }
};
