#pragma once

#include <string>

#include "core/minutewalk.h"
#include "jobfollower.h"

namespace tvl {

// The settings the desktop program and the service share, read from one file: the user's
// settings file of the desktop program, so a real server's wording is set once and both
// judge its logs alike.
//
//   [Scheduler]
//   catchUpMinutes=180      minutes missed while no Tarvel ran that are made up, 0 to 180
//   [Jobs]
//   successPattern=Backup completed successfully
//   failurePattern=Backup failed
//   boundHours=24           hours without an end line before the outcome is unknown, 1 to 744
//
// A key that is missing, empty or out of range keeps its default (an empty pattern would
// match every line). A value may stand in double quotes, as the desktop's settings code
// writes a text with a comma or blanks at its ends; \" and \\ stand for " and \.
struct ProgramSettings {
    CivilMinute catchUpMinutes = kMaxCatchUpMinutes;
    JudgeSettings judge;
};

// $XDG_CONFIG_HOME/Tarvel/tarvel.ini, by default ~/.config/Tarvel/tarvel.ini.
std::string userSettingsPath();

// An empty path reads userSettingsPath(). A file that is missing or cannot be read gives
// the defaults.
ProgramSettings readProgramSettings(const std::string& path = {});

}  // namespace tvl
