#include "language.h"

#include <array>

namespace tvl::ui {

namespace {
// Display names, by number.
constexpr std::array<const char*, kLanguageCount> kNames = {
    "Abkhazian",
    "Afar",
    "Afrikaans",
    "Albanian",
    "Amharic",
    "Arabic",
    "Armenian",
    "Assamese",
    "Aymara",
    "Azerbaijani",
    "Bashkir",
    "Basque",
    "Bengali (Bangla)",
    "Bhutani",
    "Bihari",
    "Bislama",
    "Breton",
    "Bulgarian",
    "Burmese",
    "Byelorussian (Belarusian)",
    "Cambodian",
    "Catalan",
    "Cherokee",
    "Chewa",
    "Chinese (Simplified)",
    "Chinese (Traditional)",
    "Corsican",
    "Croatian",
    "Czech",
    "Danish",
    "Divehi",
    "Dutch",
    "Edo",
    "English",
    "Esperanto",
    "Estonian",
    "Faeroese",
    "Farsi",
    "Fiji",
    "Finnish",
    "Flemish",
    "French",
    "Frisian",
    "Fulfulde",
    "Galician",
    "Gaelic (Scottish)",
    "Gaelic (Manx)",
    "Georgian",
    "German",
    "Greek",
    "Greenlandic",
    "Guarani",
    "Gujarati",
    "Hausa",
    "Hawaiian",
    "Hebrew",
    "Hindi",
    "Hungarian",
    "Ibibio",
    "Icelandic",
    "Igbo",
    "Indonesian",
    "Interlingua",
    "Interlingue",
    "Inuktitut",
    "Inupiak",
    "Irish",
    "Italian",
    "Japanese",
    "Javanese",
    "Kannada",
    "Kanuri",
    "Kashmiri",
    "Kazakh",
    "Kinyarwanda (Ruanda)",
    "Kirghiz",
    "Kirundi (Rundi)",
    "Korean",
    "Kurdish",
    "Laothian",
    "Latin",
    "Latvian (Lettish)",
    "Lingala",
    "Lithuanian",
    "Macedonian",
    "Malagasy",
    "Malay",
    "Malayalam",
    "Maltese",
    "Maori",
    "Marathi",
    "Moldavian",
    "Mongolian",
    "Nauru",
    "Nepali",
    "Norwegian",
    "Occitan",
    "Oriya",
    "Oromo (Afan, Galla)",
    "Papiamentu",
    "Pashto (Pushto)",
    "Polish",
    "Portuguese",
    "Punjabi",
    "Quechua",
    "Rhaeto-Romance",
    "Romanian",
    "Russian",
    "Sami (Lappish)",
    "Samoan",
    "Sangro",
    "Sanskrit",
    "Serbian",
    "Serbo-Croatian",
    "Sesotho",
    "Setswana",
    "Shona",
    "Sindhi",
    "Sinhalese",
    "Siswati",
    "Slovak",
    "Slovenian",
    "Somali",
    "Spanish",
    "Sundanese",
    "Swahili (Kiswahili)",
    "Swedish",
    "Syriac",
    "Tagalog",
    "Tajik",
    "Tamazight",
    "Tamil",
    "Tatar",
    "Telugu",
    "Thai",
    "Tibetan",
    "Tigrinya",
    "Tonga",
    "Tsonga",
    "Turkish",
    "Turkmen",
    "Twi",
    "Uighur",
    "Ukrainian",
    "Urdu",
    "Uzbek",
    "Venda",
    "Vietnamese",
    "Volap\u00fck",
    "Welsh",
    "Wolof",
    "Xhosa",
    "Yi",
    "Yiddish",
    "Yoruba",
    "Zulu",
    "Other",
};

// Numbers whose identifier differs from the display name.
struct Identifier {
    int language;
    const char* text;
};
constexpr std::array<Identifier, 16> kIdentifiers = {{
    {12, "Bengali"},
    {19, "Byelorussian"},
    {24, "Chinese_Simplified"},
    {25, "Chinese_Traditional"},
    {45, "Gaelic_Scottish"},
    {46, "Gaelic_Manx"},
    {74, "Kinyarwanda"},
    {76, "Kirundi"},
    {81, "Latvian"},
    {98, "Oromo"},
    {100, "Pashto"},
    {105, "Rhaeto_Romance"},
    {108, "Sami"},
    {113, "Serbo_Croatian"},
    {125, "Swahili"},
    {148, "Volapuk"},
}};

}  // namespace

QString languageName(int language) {
    if (language < 0 || language >= kOtherLanguage) {
        return QStringLiteral("Other");
    }
    return QString::fromUtf8(kNames[static_cast<std::size_t>(language)]);
}

QString languageIdentifier(int language) {
    for (const Identifier& id : kIdentifiers) {
        if (id.language == language) {
            return QString::fromLatin1(id.text);
        }
    }
    return languageName(language);
}

int languageFromIdentifier(const QString& text) {
    const QString wanted = text.trimmed();
    for (int language = 0; language < kLanguageCount; ++language) {
        if (languageIdentifier(language).compare(wanted, Qt::CaseInsensitive) == 0) {
            return language;
        }
    }
    return -1;
}

}  // namespace tvl::ui
