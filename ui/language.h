#pragma once

#include <QString>

namespace tvl::ui {

// The interface languages by number, as the windows hold them (see core/language.h).
inline constexpr int kEnglish = 33;
inline constexpr int kRussian = 107;
inline constexpr int kOtherLanguage = 156;

// Display name, used in file names ("English" gives English.htm); "Other" outside 0..155.
QString languageName(int language);
// Identifier, used in the stored settings.
QString languageIdentifier(int language);
// The language whose identifier equals the trimmed text ignoring letter case; -1 for none.
int languageFromIdentifier(const QString& text);

}  // namespace tvl::ui
