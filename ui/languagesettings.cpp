#include "languagesettings.h"

#include <cstdio>

#include <QSettings>

#include "language.h"

namespace tvl::ui {

namespace {
const QString kGroup = QStringLiteral("Sys");
const QString kVersionKey = QStringLiteral("FormVersion");
const QString kLanguageKey = QStringLiteral("crLng_Language");
}  // namespace

LanguageSettings::LanguageSettings(QString file) : m_file(std::move(file)) {}

std::unique_ptr<QSettings> LanguageSettings::open() const {
    if (!m_file.isEmpty()) {
        return std::make_unique<QSettings>(m_file, QSettings::IniFormat);
    }
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       QStringLiteral("Tarvel"), QStringLiteral("tarvel"));
}

int LanguageSettings::restore(int fallback) {
    m_restored = true;
    auto settings = open();
    settings->beginGroup(kGroup);
    if (settings->value(kVersionKey, 0).toInt() < 0) {
        return fallback;
    }
    const int language = languageFromIdentifier(
        settings->value(kLanguageKey, languageIdentifier(fallback)).toString());
    return language >= 0 ? language : fallback;
}

void LanguageSettings::store(int language) {
    if (!m_restored || m_stored) {
        return;
    }
    m_stored = true;
    auto settings = open();
    settings->beginGroup(kGroup);
    settings->setValue(kVersionKey, QStringLiteral("0"));
    settings->setValue(kLanguageKey, languageIdentifier(language));
    settings->endGroup();
    settings->sync();
    if (settings->status() != QSettings::NoError) {
        std::fprintf(stderr, "tarvel: cannot store the language in %s\n",
                     settings->fileName().toLocal8Bit().constData());
    }
}

}  // namespace tvl::ui
