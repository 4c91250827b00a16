// The restart with a safety net: what the device started with, a trial
// armed before a restart, its countdown after it, and the going back when
// nobody confirmed the settings in time. webcfg-boot runs it at each start.
#pragma once

#include <nlohmann/json.hpp>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/journal.h"

namespace state {

// What the device started with: every settings file, and the settings and
// template the document read from them then.
constexpr const char* kStartRecordPath = "/mnt/.webcfg-start";
// A restart trial: how long to wait for a confirmation, where its
// countdown stands, and the files to go back to.
constexpr const char* kTrialPath = "/mnt/.webcfg-trial";
// The settings the last going back changed, until the next change set.
constexpr const char* kRolledBackPath = "/mnt/.webcfg-rolled-back";

// Bounds of a trial's confirmation window, in seconds.
constexpr long long kMinConfirmSeconds = 10;
constexpr long long kMaxConfirmSeconds = 3600;
// How often the countdown looks at the clock and for a confirmation.
constexpr unsigned kTrialPollSeconds = 1;

struct StartRecord {
    std::string bootId;
    std::map<std::string, std::string> values;  // "section.name": the value as JSON text
    std::string codecTemplate;                  // as JSON text
    std::vector<platform::SavedFile> files;
};

// The record of this boot's start (with its files when asked); nullopt
// when webcfg-boot has not made one since the device started, or it cannot
// be read.
std::optional<StartRecord> startRecordOfThisBoot(bool withFiles);

struct Trial {
    long long confirmWithin = 0;
    std::string bootId;       // the boot whose countdown runs; empty before the restart
    long long startedAt = 0;  // uptime when it began
    bool rollingBack = false;
    std::vector<platform::SavedFile> base;  // what to go back to
};

std::optional<Trial> readTrial();

// Seconds a trial has left now (its whole window until its countdown runs).
long long secondsLeft(const Trial& trial);

// Arms a trial that goes back to the files of this boot's start; false
// (nothing armed) without a record of the start or when it cannot be written.
bool armTrial(long long confirmWithin);

// Ends a running trial: the device keeps its settings. False without one.
bool confirmTrial();

// Goes back at once to the settings before a trial whose countdown runs
// in this boot (the settings changed in `changed`); the caller restarts.
enum class GoBackNow { Done, NoTrial, Failed };
GoBackNow goBackNow(nlohmann::json& changed);

// The document's members of this module: "pending", "running" (what the
// device started with of each pending setting but a secret),
// "reboot_pending", "trial" and "rolled_back", from the document's
// settings and template.
void describeRestart(const nlohmann::json& settings, const nlohmann::json& codecTemplate,
                     nlohmann::json& document);

// webcfg-boot: undoes an unfinished change set, records the start, and
// with an armed trial counts down in the background. Returns the exit code.
int bootMain();

}  // namespace state
