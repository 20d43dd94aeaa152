// SPDX-License-Identifier: GPL-3.0-or-later
#include "Language.h"

#include <QString>
#include <QTranslator>

#include <mutex>
#include <string>
#include <unordered_map>

#include "Translate.h"

// A static library's resources must be registered by name.
static void InitTranslations() { Q_INIT_RESOURCE(translations); }

namespace {

QTranslator *g_english = nullptr;

// Tr's answers must outlive the call; each text is converted once and
// kept (the number of texts is fixed, so is the store).
const char *English(const char *context, const char *text) {
    static std::mutex lock;
    static std::unordered_map<std::string, std::string> done;
    std::string key = std::string(context) + '\x04' + text;
    const std::lock_guard<std::mutex> hold(lock);
    auto found = done.find(key);
    if (found == done.end()) {
        const QString translated = g_english->translate(context, text);
        if (translated.isEmpty()) return nullptr;
        found = done.emplace(std::move(key), translated.toStdString()).first;
    }
    return found->second.c_str();
}

}  // namespace

bool UseUserLanguage() {
    if (!EnglishWanted()) return false;
    if (g_english == nullptr) {
        InitTranslations();
        auto *translator = new QTranslator;
        if (!translator->load(QStringLiteral(":/i18n/pelloru_en.qm"))) {
            delete translator;
            return false;
        }
        g_english = translator;
    }
    SetTranslation(English);
    return true;
}
