// SPDX-License-Identifier: GPL-3.0-or-later
// The program's settings ("HOST", "USER", "PASS" and the others the README
// lists) in section
// "Settings" of the user's profile, which is named by the company key
// "askeven" and the executable name. Here the profile is the INI file
// $XDG_CONFIG_HOME/askeven/<executable name>.conf (~/.config when the
// variable is unset). Values are byte texts; a missing one reads as empty.
// Only the user may read the profile: its folder is kept at mode 0700 and
// the file at 0600. Rights found wider are closed, and where others could
// write it (or it is not the user's), Trust says so for the rest of the
// run.
#pragma once

#include <string>
#include <vector>

#include "MailAccount.h"

class CSettingsStore {
public:
    static constexpr const char *kCompanyKey = "askeven";
    static constexpr const char *kSection = "Settings";
    static constexpr int kPasswordSize = 256;

    explicit CSettingsStore(std::string executableName);

    std::string Read(const char *name) const { return Read(kSection, name); }
    // False when the profile could not be written.
    bool Write(const char *name, const std::string &text) const { return Write(kSection, name, text); }
    // Takes the value out of the profile altogether.
    bool Remove(const char *name) const { return Remove(kSection, name); }

    // The same in another section (group) of the profile, such as the one
    // of a further account.
    std::string Read(const std::string &section, const char *name) const;
    bool Write(const std::string &section, const char *name, const std::string &text) const;
    bool Remove(const std::string &section, const char *name) const;
    // The sections the profile holds, and taking one out whole.
    std::vector<std::string> Sections() const;
    bool RemoveSection(const std::string &section) const;

    // The password coding: every byte complemented, one after the other,
    // measuring the text anew after each, so a byte that turns into 0 ends
    // it. Works on at most 255 bytes; a longer text is cut.
    static std::string ComplementPassword(const std::string &text);

    std::string ProfilePath() const;
    // The worst this process found of the profile's rights: once found
    // open to others, it stays so until the program starts anew (the
    // rights are closed at once, but what is in the file may be someone
    // else's).
    ProfileTrust Trust() const;

private:
    // The folder 0700 and the file 0600, made so if need be.
    bool ProtectProfile() const;

    std::string m_executableName;
};
