// What the scan needs of the main window: its title for progress, an
// immediate repaint of the list, and a modal message box (caption
// "Pelloru", warning icon, one OK button).
#pragma once

#include <string>

class CScanWindow {
public:
    virtual ~CScanWindow() = default;
    virtual void SetTitle(const std::string &title) = 0;
    virtual void RepaintList() = 0;
    virtual void ShowMessage(const std::string &text) = 0;
};
