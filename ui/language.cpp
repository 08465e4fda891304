#include "language.h"

#include "core/language.h"

namespace tvl::ui {

namespace {

QString fromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QString languageName(int language) {
    if (language < 0 || language >= kLanguageCount) {
        return QStringLiteral("Other");
    }
    return fromView(LanguageName(static_cast<TLanguage>(language)));
}

QString languageIdentifier(int language) {
    if (language < 0 || language >= kLanguageCount) {
        return QStringLiteral("Other");
    }
    return fromView(LanguageIdentifier(static_cast<TLanguage>(language)));
}

int languageFromIdentifier(const QString& text) {
    const auto language = LanguageFromIdentifier(text.toStdString());
    return language ? static_cast<int>(*language) : -1;
}

}  // namespace tvl::ui
