#pragma once

#include <QString>

#include "server/jobfollower.h"

namespace tvl::ui {

// The minute timer's settings, in the [Scheduler] group of the program's INI file.
struct SchedulerSettings {
    // How many minutes missed while no Tarvel ran are made up at start: 0 to 180, 180 when
    // the key is missing or not a number in that range.
    int catchUpMinutes = 180;
    // How a backup job's log is judged, in the [Jobs] group: successPattern and
    // failurePattern (a line containing the text; empty keeps the default) and boundHours
    // (1 to 744 hours without an end line before the outcome is unknown).
    JudgeSettings judge;

    // An empty file name means the user's settings file.
    static SchedulerSettings read(const QString& file = {});
};

}  // namespace tvl::ui
