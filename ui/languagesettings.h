#pragma once

#include <memory>

#include <QString>

class QSettings;

namespace tvl::ui {

// The interface language kept between runs, in the [Sys] group of the program's INI file.
class LanguageSettings {
public:
    // An empty file name means the user's settings file.
    explicit LanguageSettings(QString file = {});

    // The stored language, or `fallback` when none is stored or the stored one is unknown.
    int restore(int fallback);
    // Keeps the language once a restore has read the file; later calls do nothing, so the
    // end of the program and the window's destruction do not both write.
    void store(int language);

private:
    std::unique_ptr<QSettings> open() const;

    QString m_file;
    bool m_restored = false;
    bool m_stored = false;
};

}  // namespace tvl::ui
