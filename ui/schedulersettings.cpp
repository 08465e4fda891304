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
    return result;
}

}  // namespace tvl::ui
