// SPDX-License-Identifier: GPL-3.0-or-later
#include "CSettingsStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QSettings>
#include <QString>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>

namespace {

// What was found of each profile's rights since the program started.
std::mutex g_trustMutex;
std::map<std::string, ProfileTrust> g_trust;

void Distrust(const std::string &path, ProfileTrust trust) {
    std::lock_guard<std::mutex> lock(g_trustMutex);
    ProfileTrust &known = g_trust[path];
    if (known == ProfileTrust::Trusted) known = trust;
}

}  // namespace

CSettingsStore::CSettingsStore(std::string executableName)
    : m_executableName(std::move(executableName)) {
    // The profile holds the password: rights that an older version or the
    // user left open are closed on every start, not only on writing. What
    // does not exist yet is not made here. Where someone else could have
    // written it, that is remembered: the commands it names are not run.
    const std::string path = ProfilePath();
    const std::string folder = path.substr(0, path.rfind('/'));
    const uid_t self = ::geteuid();
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        if (info.st_uid != self) Distrust(path, ProfileTrust::NotOwned);
        if ((info.st_mode & 022) != 0) Distrust(path, ProfileTrust::FolderOpenToOthers);
        if ((info.st_mode & 077) != 0) ::chmod(folder.c_str(), 0700);
    }
    if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        if (info.st_uid != self) Distrust(path, ProfileTrust::NotOwned);
        if ((info.st_mode & 022) != 0) Distrust(path, ProfileTrust::OpenToOthers);
        if ((info.st_mode & 077) != 0) ::chmod(path.c_str(), 0600);
    }
}

ProfileTrust CSettingsStore::Trust() const {
    std::lock_guard<std::mutex> lock(g_trustMutex);
    const auto found = g_trust.find(ProfilePath());
    return found == g_trust.end() ? ProfileTrust::Trusted : found->second;
}

std::string CSettingsStore::ProfilePath() const {
    std::string base;
    const char *config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') {
        base = config;
    } else {
        const char *home = std::getenv("HOME");
        base = std::string(home != nullptr ? home : ".") + "/.config";
    }
    return base + "/" + kCompanyKey + "/" + m_executableName + ".conf";
}

namespace {

// Bytes map one to one onto the first 256 code points, so every byte value
// survives; QSettings escapes what is not printable, and the file stays text.
QString FromBytes(const std::string &bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string ToBytes(const QString &text) {
    QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

QString Key(const std::string &section, const char *name) {
    return QString::fromStdString(section) + "/" + name;
}

}  // namespace

std::string CSettingsStore::Read(const std::string &section, const char *name) const {
    if (name == nullptr) return {};
    QSettings profile(QString::fromStdString(ProfilePath()), QSettings::IniFormat);
    return ToBytes(profile.value(Key(section, name), QString()).toString());
}

bool CSettingsStore::ProtectProfile() const {
    const std::string path = ProfilePath();
    const std::string folder = path.substr(0, path.rfind('/'));
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(folder).parent_path(), ec);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (::chmod(folder.c_str(), 0700) != 0) return false;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    ::close(fd);
    return ::chmod(path.c_str(), 0600) == 0;
}

bool CSettingsStore::Write(const std::string &section, const char *name, const std::string &text) const {
    if (name == nullptr) return false;
    // The profile holds the password: only its owner may read it, also
    // where an older version left it open to others.
    if (!ProtectProfile()) return false;
    const mode_t previous = ::umask(077);
    QSettings profile(QString::fromStdString(ProfilePath()), QSettings::IniFormat);
    profile.setValue(Key(section, name), FromBytes(text));
    profile.sync();
    ::umask(previous);
    return profile.status() == QSettings::NoError && ProtectProfile();
}

bool CSettingsStore::Remove(const std::string &section, const char *name) const {
    if (name == nullptr || !ProtectProfile()) return false;
    QSettings profile(QString::fromStdString(ProfilePath()), QSettings::IniFormat);
    profile.remove(Key(section, name));
    profile.sync();
    return profile.status() == QSettings::NoError;
}

std::vector<std::string> CSettingsStore::Sections() const {
    QSettings profile(QString::fromStdString(ProfilePath()), QSettings::IniFormat);
    std::vector<std::string> sections;
    for (const QString &group : profile.childGroups()) sections.push_back(group.toStdString());
    return sections;
}

bool CSettingsStore::RemoveSection(const std::string &section) const {
    if (!ProtectProfile()) return false;
    QSettings profile(QString::fromStdString(ProfilePath()), QSettings::IniFormat);
    profile.remove(QString::fromStdString(section));
    profile.sync();
    return profile.status() == QSettings::NoError;
}

std::string CSettingsStore::ComplementPassword(const std::string &text) {
    char buffer[kPasswordSize];
    size_t length = std::min(text.size(), static_cast<size_t>(kPasswordSize - 1));
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    for (size_t i = 0; i < std::strlen(buffer); ++i)
        buffer[i] = static_cast<char>(~static_cast<unsigned char>(buffer[i]));
    return buffer;
}
