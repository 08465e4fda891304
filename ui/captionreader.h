#pragma once

#include <optional>
#include <vector>

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include "core/language.h"
#include "core/profilefile.h"

namespace tvl::ui {

// Set on a widget whose tooltip is a hint from the message table: the caption files neither
// write nor change it.
inline constexpr char kMessageHintProperty[] = "tvlMessageHint";

inline constexpr const char* kLanguageFileName = "LngCnf.cfg";
// Property of a widget that shows data rather than a caption (a link's address): the
// caption files leave it alone.
inline constexpr const char* kKeepsItsText = "tvlKeepsItsText";

// A window whose captions the reader keeps, and the objects that belong to its section
// though they are not its children (the tray menu of the main window).
struct CaptionWindow {
    QPointer<QWidget> window;
    std::vector<QPointer<QObject>> extra;
};

// The caption reader: gives every window of the program the captions, hints and list
// labels of the language in force from that language's caption file (English.lng,
// Russian.lng), and writes the file as a template for translators when it is missing.
// Its Language is the language in force for the whole program; the message table and the
// help page follow it. It keeps the last language in LngCnf.cfg.
class TJKCaptionReader : public QObject {
    Q_OBJECT
public:
    // Reads the last language from LngCnf.cfg.
    TJKCaptionReader(QObject* owner, LanguageFolders folders);
    // Writes the language in force to LngCnf.cfg.
    ~TJKCaptionReader() override;

    TLanguage Language() const { return m_language; }
    void setLanguage(TLanguage language) { m_language = language; }
    bool Autoload() const { return m_autoload; }
    void setAutoload(bool on) { m_autoload = on; }
    const LanguageFolders& folders() const { return m_folders; }

    // The windows the captions are for, in the order they were created, the main window
    // first. Adding a window is all it takes for it to be translated.
    void addWindow(QWidget* window);
    // An object that belongs to a window's section though it is not its child (the tray
    // menu of the main window).
    void addComponent(QWidget* window, QObject* component);
    std::vector<QWidget*> windows() const;

    // The display name of the language in force followed by ".lng".
    QString captionFileName() const;
    // The caption file of the language in force, found ignoring letter case; none when it
    // is missing.
    std::optional<std::string> captionFile() const;

    // The owner has been built: with Autoload on, its captions are applied.
    void Loaded();
    // Applies the caption file of the language in force to every window; a missing file
    // changes nothing.
    void ApplyCaptions();
    // Writes what every window shows now into the caption file of the language in force.
    bool WriteCaptionFile();
    // ApplyCaptions when the caption file exists, else WriteCaptionFile.
    void LoadCaptions();

signals:
    // A caption file was applied: texts may have grown or shrunk.
    void captionsApplied();

private:
    LanguageFolders m_folders;
    TLanguage m_language = TLanguage::Abkhazian;
    bool m_autoload = false;
    std::vector<CaptionWindow> m_windows;
};

// Qt's own texts (the Yes/No/OK/Cancel buttons of the program's boxes) in the language in
// force, from the translations Qt comes with; any language but Russian gets Qt's English.
void useQtTranslations(TLanguage language);

}  // namespace tvl::ui
