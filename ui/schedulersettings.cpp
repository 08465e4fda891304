#include "schedulersettings.h"

#include <QSettings>

#include "core/minutewalk.h"

namespace tvl::ui {

SchedulerSettings SchedulerSettings::read(const QString& file) {
    const auto settings = file.isEmpty() ? std::make_unique<QSettings>(
                                               QSettings::IniFormat, QSettings::UserScope,
                                               QStringLiteral("Tarvel"), QStringLiteral("tarvel"))
                                         : std::make_unique<QSettings>(file, QSettings::IniFormat);
    SchedulerSettings result;
    bool ok = false;
    const int minutes = settings->value(QStringLiteral("Scheduler/catchUpMinutes")).toInt(&ok);
    if (ok && minutes >= 0 && minutes <= kMaxCatchUpMinutes) {
        result.catchUpMinutes = minutes;
    }
    // A pattern that is empty would match every line; the default stays instead.
    const auto pattern = [&settings](const char* key, std::string& out) {
        const QString text = settings->value(QString::fromLatin1(key)).toString();
        if (!text.isEmpty()) {
            out = text.toStdString();
        }
    };
    pattern("Jobs/successPattern", result.judge.successPattern);
    pattern("Jobs/failurePattern", result.judge.failurePattern);
    if (const auto hours = parseBoundHours(
            settings->value(QStringLiteral("Jobs/boundHours")).toString().toStdString())) {
        result.judge.boundHours = *hours;
    }
    return result;
}

}  // namespace tvl::ui
