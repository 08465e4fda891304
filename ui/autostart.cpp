#include "autostart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace tvl::ui {

namespace {

// A value of type string in a desktop entry: backslash and line ends escaped.
QString entryString(QString text) {
    return text.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('\n'), QLatin1String("\\n"))
        .replace(QLatin1Char('\r'), QLatin1String("\\r"));
}

// The program as one quoted argument of Exec: inside the quotes ", `, $ and \ are escaped
// with a backslash, and the backslashes are escaped again as the string value's own.
QString execArgument(const QString& program) {
    QString quoted;
    for (QChar c : program) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\')) {
            quoted += QLatin1Char('\\');
        }
        quoted += c;
    }
    return entryString(QLatin1Char('"') + quoted + QLatin1Char('"'));
}

}  // namespace

Autostart::Autostart(QString entryFile) : m_file(std::move(entryFile)) {
    if (m_file.isEmpty()) {
        m_file = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                 QStringLiteral("/autostart/tarvel.desktop");
    }
}

bool Autostart::isOn() const {
    return QFileInfo::exists(m_file);
}

QByteArray Autostart::entryText(const QString& program, const QString& folder) {
    const QString text = QStringLiteral(
                             "[Desktop Entry]\n"
                             "Type=Application\n"
                             "Name=Tarvel\n"
                             "Comment=Schedule and start backups of Cache database servers\n"
                             "Icon=tarvel\n"
                             "Exec=%1\n"
                             "Path=%2\n"
                             "Terminal=false\n"
                             "X-GNOME-Autostart-enabled=true\n")
                             .arg(execArgument(program), entryString(folder));
    return text.toUtf8();
}

bool Autostart::setOn(bool on, QString* error) {
    if (!on) {
        QFile entry(m_file);
        if (entry.exists() && !entry.remove()) {
            *error = entry.errorString();
            return false;
        }
        return true;
    }
    if (!QDir().mkpath(QFileInfo(m_file).absolutePath())) {
        *error =
            QStringLiteral("cannot create the folder %1").arg(QFileInfo(m_file).absolutePath());
        return false;
    }
    QSaveFile entry(m_file);
    if (!entry.open(QIODevice::WriteOnly) ||
        entry.write(entryText(QCoreApplication::applicationFilePath(), QDir::currentPath())) < 0 ||
        !entry.commit()) {
        *error = entry.errorString();
        return false;
    }
    return true;
}

}  // namespace tvl::ui
