#pragma once

#include <QString>

namespace tvl::ui {

// The entry in the user's autostart folder that starts the program at every login, in the
// working folder it runs in now, so it comes back into the tray by itself.
class Autostart {
public:
    // An empty file name means $XDG_CONFIG_HOME/autostart/tarvel.desktop.
    explicit Autostart(QString entryFile = {});

    const QString& entryFile() const { return m_file; }
    bool isOn() const;
    // Writes the entry (replaced whole, never left half-written) or removes it. False with
    // the reason in *error when that fails; the entry is then as it was.
    bool setOn(bool on, QString* error);

    // The entry's text: the program's file and the working folder to start it in.
    static QByteArray entryText(const QString& program, const QString& folder);

private:
    QString m_file;
};

}  // namespace tvl::ui
