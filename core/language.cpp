#include "language.h"

#include <array>

#include "asciicase.h"

namespace tvl {

namespace {

struct Names {
    std::string_view display;
    std::string_view identifier;
};

constexpr std::array<Names, kLanguageCount> kNames = {{
    {"Abkhazian", "Abkhazian"},
    {"Afar", "Afar"},
    {"Afrikaans", "Afrikaans"},
    {"Albanian", "Albanian"},
    {"Amharic", "Amharic"},
    {"Arabic", "Arabic"},
    {"Armenian", "Armenian"},
    {"Assamese", "Assamese"},
    {"Aymara", "Aymara"},
    {"Azerbaijani", "Azerbaijani"},
    {"Bashkir", "Bashkir"},
    {"Basque", "Basque"},
    {"Bengali (Bangla)", "Bengali"},
    {"Bhutani", "Bhutani"},
    {"Bihari", "Bihari"},
    {"Bislama", "Bislama"},
    {"Breton", "Breton"},
    {"Bulgarian", "Bulgarian"},
    {"Burmese", "Burmese"},
    {"Byelorussian (Belarusian)", "Byelorussian"},
    {"Cambodian", "Cambodian"},
    {"Catalan", "Catalan"},
    {"Cherokee", "Cherokee"},
    {"Chewa", "Chewa"},
    {"Chinese (Simplified)", "Chinese_Simplified"},
    {"Chinese (Traditional)", "Chinese_Traditional"},
    {"Corsican", "Corsican"},
    {"Croatian", "Croatian"},
    {"Czech", "Czech"},
    {"Danish", "Danish"},
    {"Divehi", "Divehi"},
    {"Dutch", "Dutch"},
    {"Edo", "Edo"},
    {"English", "English"},
    {"Esperanto", "Esperanto"},
    {"Estonian", "Estonian"},
    {"Faeroese", "Faeroese"},
    {"Farsi", "Farsi"},
    {"Fiji", "Fiji"},
    {"Finnish", "Finnish"},
    {"Flemish", "Flemish"},
    {"French", "French"},
    {"Frisian", "Frisian"},
    {"Fulfulde", "Fulfulde"},
    {"Galician", "Galician"},
    {"Gaelic (Scottish)", "Gaelic_Scottish"},
    {"Gaelic (Manx)", "Gaelic_Manx"},
    {"Georgian", "Georgian"},
    {"German", "German"},
    {"Greek", "Greek"},
    {"Greenlandic", "Greenlandic"},
    {"Guarani", "Guarani"},
    {"Gujarati", "Gujarati"},
    {"Hausa", "Hausa"},
    {"Hawaiian", "Hawaiian"},
    {"Hebrew", "Hebrew"},
    {"Hindi", "Hindi"},
    {"Hungarian", "Hungarian"},
    {"Ibibio", "Ibibio"},
    {"Icelandic", "Icelandic"},
    {"Igbo", "Igbo"},
    {"Indonesian", "Indonesian"},
    {"Interlingua", "Interlingua"},
    {"Interlingue", "Interlingue"},
    {"Inuktitut", "Inuktitut"},
    {"Inupiak", "Inupiak"},
    {"Irish", "Irish"},
    {"Italian", "Italian"},
    {"Japanese", "Japanese"},
    {"Javanese", "Javanese"},
    {"Kannada", "Kannada"},
    {"Kanuri", "Kanuri"},
    {"Kashmiri", "Kashmiri"},
    {"Kazakh", "Kazakh"},
    {"Kinyarwanda (Ruanda)", "Kinyarwanda"},
    {"Kirghiz", "Kirghiz"},
    {"Kirundi (Rundi)", "Kirundi"},
    {"Korean", "Korean"},
    {"Kurdish", "Kurdish"},
    {"Laothian", "Laothian"},
    {"Latin", "Latin"},
    {"Latvian (Lettish)", "Latvian"},
    {"Lingala", "Lingala"},
    {"Lithuanian", "Lithuanian"},
    {"Macedonian", "Macedonian"},
    {"Malagasy", "Malagasy"},
    {"Malay", "Malay"},
    {"Malayalam", "Malayalam"},
    {"Maltese", "Maltese"},
    {"Maori", "Maori"},
    {"Marathi", "Marathi"},
    {"Moldavian", "Moldavian"},
    {"Mongolian", "Mongolian"},
    {"Nauru", "Nauru"},
    {"Nepali", "Nepali"},
    {"Norwegian", "Norwegian"},
    {"Occitan", "Occitan"},
    {"Oriya", "Oriya"},
    {"Oromo (Afan, Galla)", "Oromo"},
    {"Papiamentu", "Papiamentu"},
    {"Pashto (Pushto)", "Pashto"},
    {"Polish", "Polish"},
    {"Portuguese", "Portuguese"},
    {"Punjabi", "Punjabi"},
    {"Quechua", "Quechua"},
    {"Rhaeto-Romance", "Rhaeto_Romance"},
    {"Romanian", "Romanian"},
    {"Russian", "Russian"},
    {"Sami (Lappish)", "Sami"},
    {"Samoan", "Samoan"},
    {"Sangro", "Sangro"},
    {"Sanskrit", "Sanskrit"},
    {"Serbian", "Serbian"},
    {"Serbo-Croatian", "Serbo_Croatian"},
    {"Sesotho", "Sesotho"},
    {"Setswana", "Setswana"},
    {"Shona", "Shona"},
    {"Sindhi", "Sindhi"},
    {"Sinhalese", "Sinhalese"},
    {"Siswati", "Siswati"},
    {"Slovak", "Slovak"},
    {"Slovenian", "Slovenian"},
    {"Somali", "Somali"},
    {"Spanish", "Spanish"},
    {"Sundanese", "Sundanese"},
    {"Swahili (Kiswahili)", "Swahili"},
    {"Swedish", "Swedish"},
    {"Syriac", "Syriac"},
    {"Tagalog", "Tagalog"},
    {"Tajik", "Tajik"},
    {"Tamazight", "Tamazight"},
    {"Tamil", "Tamil"},
    {"Tatar", "Tatar"},
    {"Telugu", "Telugu"},
    {"Thai", "Thai"},
    {"Tibetan", "Tibetan"},
    {"Tigrinya", "Tigrinya"},
    {"Tonga", "Tonga"},
    {"Tsonga", "Tsonga"},
    {"Turkish", "Turkish"},
    {"Turkmen", "Turkmen"},
    {"Twi", "Twi"},
    {"Uighur", "Uighur"},
    {"Ukrainian", "Ukrainian"},
    {"Urdu", "Urdu"},
    {"Uzbek", "Uzbek"},
    {"Venda", "Venda"},
    {"Vietnamese", "Vietnamese"},
    {"Volap\xc3\xbc"
     "k",
     "Volapuk"},
    {"Welsh", "Welsh"},
    {"Wolof", "Wolof"},
    {"Xhosa", "Xhosa"},
    {"Yi", "Yi"},
    {"Yiddish", "Yiddish"},
    {"Yoruba", "Yoruba"},
    {"Zulu", "Zulu"},
    {"Other", "Other"},
}};

static_assert(static_cast<int>(TLanguage::English) == 33);
static_assert(static_cast<int>(TLanguage::Russian) == 107);
static_assert(static_cast<int>(TLanguage::Zulu) == 155);
static_assert(static_cast<int>(TLanguage::Other) == kLanguageCount - 1);

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

}  // namespace

std::string_view LanguageName(TLanguage language) {
    const auto index = static_cast<std::size_t>(language);
    if (index >= static_cast<std::size_t>(TLanguage::Other)) {
        return "Other";
    }
    return kNames[index].display;
}

TLanguage LanguageFromName(std::string_view text) {
    // A language file written by the program's 8-bit ancestors spells it with one byte.
    if (text ==
        "Volap\xfc"
        "k") {
        return TLanguage::Volapuk;
    }
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        if (kNames[i].display == text) {
            return static_cast<TLanguage>(i);
        }
    }
    return TLanguage::Other;
}

std::string_view LanguageIdentifier(TLanguage language) {
    const auto index = static_cast<std::size_t>(language);
    if (index >= kNames.size()) {
        return kNames.back().identifier;
    }
    return kNames[index].identifier;
}

std::optional<TLanguage> LanguageFromIdentifier(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        if (equalsIgnoringAsciiCase(kNames[i].identifier, text)) {
            return static_cast<TLanguage>(i);
        }
    }
    return std::nullopt;
}

}  // namespace tvl
