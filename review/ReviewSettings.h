#pragma once
// The review settings a Deck's log keeps, as key=value lines. Keys of other features (the Deck's
// languages, ...) live beside them; this file knows only the scheduler's.
#include "review/ReviewLog.h"

#include <optional>
#include <string>
#include <vector>

struct ReviewSettings {
    SchedulerParameters scheduler;
    int newPerDay = 20;
};

// The settings of a log; a value that cannot be read keeps its default.
ReviewSettings SettingsOf(const ReviewLog &log);
// The settings a new log starts with, as lines.
std::vector<Setting> DefaultSettingLines();
// Why a value cannot be stored for a scheduler key (empty when it can, or when the key is not
// the scheduler's).
std::string SettingProblem(const std::string &key, const std::string &value);
