// One row per setting of the state document: where it stands, its kind of
// value, and the form of the settings program that changes it.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace state {

enum class Kind { String, Integer, Boolean };
enum class Access { ReadWrite, ReadOnly, WriteOnly };

// A value of a radio group or menu, and the word or menu value posted for it.
struct Choice {
    nlohmann::json value;
    std::string word;
};

struct Setting {
    const char* section;  // "network", "wifi", ...
    const char* group;    // "mg" or "gx" inside "overlays", else nullptr
    const char* name;
    Kind kind;
    const char* submit;   // nullptr: no form changes it
    const char* radio;    // radio group, or nullptr
    const char* menu;     // select menu, or nullptr
    const char* field;    // text field (a row of the value rules), or nullptr
    std::vector<Choice> choices;
    Access access;
    // Settings that share one text field: which part of its value this is
    // ("address" or "key" of the RTMP address); nullptr for a whole field.
    const char* part = nullptr;
};

// Every setting, in the document's order.
const std::vector<Setting>& settingsTable();

// The schema's property of one setting (as settingsSchema() holds it),
// made alone: a change set checks only the settings it carries.
nlohmann::json settingProperty(const Setting& setting);

}  // namespace state
