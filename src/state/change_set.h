// Change sets: many settings in one request, checked whole against the
// schema first, applied by the form commands under a journal, so that the
// device ends up either wholly changed or as it was.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "state/settings_table.h"

namespace state {

// Largest change set body taken.
constexpr std::size_t kMaxChangeSetBytes = 1048576;

// One reason a change set is refused before anything is written: the
// setting as "section.name" (or the member of the set), the schema keyword
// it breaks, and what to do instead.
struct SetError {
    std::string setting;
    std::string rule;
    std::string message;
};

struct ChangeSet {
    std::optional<std::string> codecTemplate;  // "aac" or "mp3"
    bool restart = false;                      // restart once the set is applied
    std::optional<long long> confirmWithin;    // with a trial of so many seconds
    bool confirm = false;                      // end the running trial
    bool goBack = false;                       // go back now from the running trial
    std::vector<std::pair<const Setting*, nlohmann::json>> settings;  // in the table's order
};

// The template values and the words the codec form posts for them.
constexpr const char* kTemplates[][2] = {{"aac", "male"}, {"mp3", "female"}};

// Checks a parsed body against the schema of the device as it is now
// (each setting's property of settingsSchema()), a part of the RTMP address
// joined with the other part as heldUrl holds it: every error, in the
// order of the body. The checked set comes back in `set` when there are none.
std::vector<SetError> checkChangeSet(const nlohmann::json& body, const std::string& heldUrl, ChangeSet& set);

// The dotted name of a setting ("overlays.mg.x").
std::string dottedName(const Setting& setting);

// Whether two values are the same setting: numbers by value, the subtitle
// by its x-equivalent rule, anything else exactly.
bool sameValue(const Setting& setting, const nlohmann::json& a, const nlohmann::json& b);

// A setting's value in a document's "settings"; null where it has none.
nlohmann::json settingValue(const nlohmann::json& settings, const Setting& setting);

// The settings (as "section.name") whose values differ between two
// documents' "settings"; read-only ones left out.
nlohmann::json settingsDifferences(const nlohmann::json& before, const nlohmann::json& after);

// Every file a change may write: the settings files, the copy the boot
// script rewrite keeps, and the target of every default a template swap
// copies.
std::vector<std::string> changeableFiles();

// Answers a POST of the state program: reads, checks and applies the set,
// and writes the whole reply.
void answerChangeSet();

}  // namespace state
