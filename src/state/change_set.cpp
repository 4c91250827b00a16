// A change set runs the very commands a form post runs, over fields built
// from the set, so the files come out as the equivalent posts leave them.
// What differs is around them: the whole set is checked first, the files
// it may touch are journaled before the first write, the commands' replies
// go nowhere, and the first refusal puts every file back.
#include "state/change_set.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "dispatch/dispatch.h"
#include "overlay/overlay.h"
#include "platform/audit.h"
#include "platform/fields.h"
#include "platform/journal.h"
#include "platform/platform.h"
#include "settings/rules.h"
#include "state/restart.h"
#include "state/state.h"

namespace state {
namespace {

using json = nlohmann::json;


const Setting* settingNamed(const std::string& dotted) {
    for (const Setting& s : settingsTable())
        if (dottedName(s) == dotted) return &s;
    return nullptr;
}

std::size_t characters(const std::string& utf8) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < utf8.size(); ++count) {
        std::uint32_t point = 0;
        if (!platform::nextUtf8(utf8, i, point)) ++i;
    }
    return count;
}

// An integer as a JSON number may be written (6000000 or 6000000.0), or
// nullopt.
std::optional<long long> integerOf(const json& v) {
    if (v.is_number_integer()) {
        if (v.is_number_unsigned() && v.get<unsigned long long>() > static_cast<unsigned long long>(LLONG_MAX))
            return std::nullopt;
        return v.get<long long>();
    }
    if (v.is_number_float()) {
        const double d = v.get<double>();
        if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 9e15) return static_cast<long long>(d);
    }
    return std::nullopt;
}

// The value as the form posts it.
std::string formText(const json& v) {
    if (v.is_string()) return v.get<std::string>();
    if (std::optional<long long> n = integerOf(v)) return std::to_string(*n);
    return v.dump();
}

// A server and an application name, which may be left out only while no
// stream key follows (the pattern the schema states for the address).
bool addressShape(const std::string& address, bool keyed) {
    const auto plain = [](const std::string& s) { return !s.empty() && s.find_first_of("/?") == std::string::npos; };
    const auto serverAndApplication = [&](const std::string& s) {
        const std::size_t slash = s.find('/');
        if (slash == std::string::npos) return !keyed && plain(s);
        return plain(s.substr(0, slash)) && plain(s.substr(slash + 1));
    };
    // Only the first "://" can follow a scheme without a "/" in it.
    const std::size_t scheme = address.find("://");
    if (scheme != std::string::npos && address.find_first_of("/?") >= scheme &&
        serverAndApplication(address.substr(scheme + 3)))
        return true;
    return serverAndApplication(address);
}

class Checker {
public:
    Checker(const std::string& heldUrl, ChangeSet& set) : heldUrl_(heldUrl), set_(set) {}

    // The settings object, walked along the table's sections and groups.
    void walk(const json& given, const std::string& prefix) {
        for (const auto& [name, value] : given.items()) {
            const std::string dotted = prefix + name;
            if (const Setting* setting = settingNamed(dotted)) {
                leaf(dotted, *setting, settingProperty(*setting), value);
                continue;
            }
            bool holdsSettings = false;
            for (const Setting& s : settingsTable())
                holdsSettings = holdsSettings || dottedName(s).compare(0, dotted.size() + 1, dotted + ".") == 0;
            if (!holdsSettings)
                error(dotted, "additionalProperties", "is no setting of this device");
            else if (!value.is_object())
                error(dotted, "type", "must be an object of settings");
            else
                walk(value, dotted + ".");
        }
    }

    // {"confirm_within": seconds}, or {} for a restart without a trial.
    void restart(const json& value) {
        if (!value.is_object()) return error("restart", "type", "must be an object");
        set_.restart = true;
        for (const auto& [name, within] : value.items()) {
            if (name != "confirm_within") {
                error("restart." + name, "additionalProperties", "is no member of a restart");
                continue;
            }
            const std::optional<long long> seconds = integerOf(within);
            if (!seconds)
                error("restart.confirm_within", "type", "must be an integer");
            else if (*seconds < kMinConfirmSeconds)
                error("restart.confirm_within", "minimum", "must be at least " + std::to_string(kMinConfirmSeconds));
            else if (*seconds > kMaxConfirmSeconds)
                error("restart.confirm_within", "maximum", "must be at most " + std::to_string(kMaxConfirmSeconds));
            else
                set_.confirmWithin = *seconds;
        }
    }

    void error(const std::string& setting, const char* rule, const std::string& message) {
        errors.push_back({setting, rule, message});
    }

    std::vector<SetError> errors;

private:
    void leaf(const std::string& dotted, const Setting& s, const json& p, const json& v) {
        const Setting* setting = &s;
        const std::size_t before = errors.size();
        if (p.value("readOnly", false)) return error(dotted, "readOnly", "is read-only: the device sets it");
        if (v.is_null())
            return error(dotted, "type", "must be a value: null only says that the device holds none");
        switch (setting->kind) {
            case Kind::Boolean:
                if (!v.is_boolean()) return error(dotted, "type", "must be true or false");
                break;
            case Kind::Integer:
                if (!integerOf(v)) return error(dotted, "type", "must be an integer");
                break;
            case Kind::String:
                if (!v.is_string()) return error(dotted, "type", "must be a string");
                break;
        }
        if (p.contains("enum")) {
            bool listed = false;
            for (const json& e : p["enum"])
                listed = listed || (!e.is_null() && (e == v || (integerOf(e) && integerOf(e) == integerOf(v))));
            if (!listed) return error(dotted, "enum", "must be one of " + enumText(p["enum"]));
        }
        if (std::optional<long long> n = integerOf(v); n && setting->kind == Kind::Integer) {
            if (p.contains("minimum") && *n < p["minimum"].get<long long>())
                error(dotted, "minimum", "must be at least " + p["minimum"].dump());
            if (p.contains("maximum") && *n > p["maximum"].get<long long>())
                error(dotted, "maximum", "must be at most " + p["maximum"].dump());
        }
        if (v.is_string()) text(dotted, *setting, p, v.get<std::string>());
        if (errors.size() == before) set_.settings.push_back({setting, v});
    }

    void text(const std::string& dotted, const Setting& setting, const json& p, const std::string& value) {
        const std::size_t count = characters(value);
        if (p.contains("minLength") && count < p["minLength"].get<std::size_t>())
            error(dotted, "minLength", "must hold at least " + p["minLength"].dump() + " characters");
        if (p.contains("maxLength") && count > p["maxLength"].get<std::size_t>())
            error(dotted, "maxLength", "must hold at most " + p["maxLength"].dump() + " characters");
        if (p.contains("x-maxBytes") && value.size() > p["x-maxBytes"].get<std::size_t>())
            error(dotted, "x-maxBytes", "must fit in " + p["x-maxBytes"].dump() + " bytes of UTF-8");
        else if (p.contains("x-minBytes") && value.size() < p["x-minBytes"].get<std::size_t>())
            error(dotted, "x-minBytes", "must take at least " + p["x-minBytes"].dump() + " bytes");
        if (!setting.field) return;
        const settings::ValueRule* rule = settings::ruleForField(setting.field);
        bool fits = value.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
        std::string whole = value;
        if (setting.part) {
            // A part is checked as the field the device stores: joined with
            // the other part as it holds it (or as the same set gives it).
            settings::RtmpUrl parts = settings::splitRtmpUrl(heldUrl_);
            (std::strcmp(setting.part, "address") == 0 ? parts.address : parts.key) = value;
            if (std::strcmp(setting.part, "address") == 0) fits = fits && addressShape(value, !parts.key.empty());
            whole = settings::joinRtmpUrl(parts);
        }
        const char* refusal = rule && !value.empty() ? settings::refusalFor(*rule, whole) : nullptr;
        if (refusal && std::strcmp(refusal, "error len") == 0) {
            if (errors.empty() || errors.back().setting != dotted)
                error(dotted, "x-maxBytes", "is longer than the device can store");
            refusal = nullptr;
        }
        if (!fits || refusal || (rule && !settings::wellFormed(*rule, whole)))
            error(dotted, "pattern", "holds characters or a form the device cannot take");
    }

    static std::string enumText(const json& values) {
        std::string text;
        for (const json& e : values)
            if (!e.is_null()) text += (text.empty() ? "" : ", ") + e.dump();
        return text;
    }

    const std::string& heldUrl_;
    ChangeSet& set_;
};

}  // namespace

std::vector<std::string> changeableFiles() {
    std::vector<std::string> files = settingsFiles();
    files.push_back("/mnt/autorun.sh.swp");
    for (const std::string& name : platform::regularFiles("/mnt/dfc").value_or(std::vector<std::string>{})) {
        const std::string target = "/mnt/" + name;
        if (std::find(files.begin(), files.end(), target) == files.end()) files.push_back(target);
    }
    return files;
}

std::string dottedName(const Setting& setting) {
    return std::string(setting.section) + "." + (setting.group ? std::string(setting.group) + "." : "") +
           setting.name;
}

std::vector<SetError> checkChangeSet(const json& body, const std::string& heldUrl, ChangeSet& set) {
    set = ChangeSet{};
    Checker checker(heldUrl, set);
    if (!body.is_object()) {
        checker.error("", "type", "a change set is a JSON object");
        return checker.errors;
    }
    if (!body.contains("settings") && !body.contains("codec_template") && !body.contains("restart") &&
        !body.contains("confirm"))
        checker.error("", "required", "a change set holds settings, codec_template, restart or confirm");
    for (const auto& [name, value] : body.items()) {
        if (name == "settings") {
            if (!value.is_object())
                checker.error("settings", "type", "must be an object laid out as the document's settings");
            else
                checker.walk(value, "");
        } else if (name == "codec_template") {
            bool known = false;
            for (const auto& t : kTemplates) known = known || value == t[0];
            if (known)
                set.codecTemplate = value.get<std::string>();
            else
                checker.error("codec_template", "enum", "must be \"aac\" or \"mp3\"");
        } else if (name == "restart") {
            checker.restart(value);
        } else if (name == "confirm") {
            if (value == false &&
                (body.contains("settings") || body.contains("codec_template") || body.contains("restart")))
                checker.error("confirm", "not", "false goes back to the settings before the restart; it comes alone");
            else if (value.is_boolean())
                (value == true ? set.confirm : set.goBack) = true;
            else
                checker.error("confirm", "type",
                              "must be true (keep the settings) or false (go back now): it ends a restart trial");
        } else {
            checker.error(name, "additionalProperties", "is no member of a change set");
        }
    }
    // Back in the table's order, which is the order the form commands run in.
    std::sort(set.settings.begin(), set.settings.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    return checker.errors;
}

namespace {

json at(const json& document, const Setting& s) { return settingValue(document.at("settings"), s); }

}  // namespace

bool sameValue(const Setting& s, const json& a, const json& b) {
    const settings::ValueRule* rule = s.field ? settings::ruleForField(s.field) : nullptr;
    if (rule && rule->characters == settings::Characters::Subtitle && a.is_string() && b.is_string())
        return overlay::fullwidthAsAscii(a.get<std::string>()) == overlay::fullwidthAsAscii(b.get<std::string>());
    if (integerOf(a) && integerOf(b)) return integerOf(a) == integerOf(b);
    return a == b;
}

json settingValue(const json& settings, const Setting& s) {
    const auto section = settings.find(s.section);
    if (section == settings.end()) return nullptr;
    const json* owner = &*section;
    if (s.group) {
        const auto group = section->find(s.group);
        if (group == section->end()) return nullptr;
        owner = &*group;
    }
    const auto value = owner->find(s.name);
    return value == owner->end() ? json(nullptr) : *value;
}

json settingsDifferences(const json& before, const json& after) {
    json names = json::array();
    for (const Setting& s : settingsTable())
        if (s.access != Access::ReadOnly && !sameValue(s, settingValue(before, s), settingValue(after, s)))
            names.push_back(dottedName(s));
    return names;
}

namespace {

// The post that applies these values: each command's submit field once,
// its radio word, menu value or text, and what a command reads beside the
// changed setting (the other coordinate of a window, the other part of the
// RTMP address) as the device holds it.
form::Fields fieldsFor(const std::vector<std::pair<const Setting*, json>>& changes, const json& held) {
    form::Fields fields;
    const auto add = [&](const std::string& name, const std::string& value) {
        for (const auto& f : fields)
            if (f.first == name) return;
        fields.emplace_back(name, value);
    };
    const auto wanted = [&](const Setting& s) {
        for (const auto& [setting, value] : changes)
            if (setting == &s) return value;
        return at(held, s);
    };
    for (const auto& [setting, value] : changes) {
        add(setting->submit, "");
        if (setting->radio || setting->menu) {
            for (const Choice& c : setting->choices)
                if (sameValue(*setting, c.value, value)) add(setting->radio ? setting->radio : setting->menu, c.word);
            continue;
        }
        if (setting->part) {
            settings::RtmpUrl parts;
            for (const Setting& s : settingsTable()) {
                if (!s.part || std::strcmp(s.field, setting->field) != 0) continue;
                const json v = wanted(s);
                (std::strcmp(s.part, "address") == 0 ? parts.address : parts.key) = v.is_string() ? v.get<std::string>() : "";
            }
            add(setting->field, settings::joinRtmpUrl(parts));
            continue;
        }
        for (const Setting& s : settingsTable()) {
            if (!s.field || s.part || std::strcmp(s.submit ? s.submit : "", setting->submit) != 0) continue;
            const json v = wanted(s);
            if (!v.is_null()) add(s.field, formText(v));
        }
    }
    return fields;
}

// Every file a set may write: with a template swap, also every default
// it copies.
std::vector<std::string> journaledFiles(bool swap) {
    if (swap) return changeableFiles();
    std::vector<std::string> files = settingsFiles();
    files.push_back("/mnt/autorun.sh.swp");
    return files;
}

// Runs the commands over these fields with their replies discarded: a set
// answers for itself. The first command that refuses or fails, with what
// it said.
std::optional<CommandRun> runQuietly(form::Fields fields) {
    form::install(std::move(fields));
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    const int sink = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (sink >= 0) {
        ::dup2(sink, STDOUT_FILENO);
        ::close(sink);
    }
    const std::vector<CommandRun> ran = runCommands(true);
    std::fflush(stdout);
    if (saved >= 0) {
        ::dup2(saved, STDOUT_FILENO);
        ::close(saved);
    }
    for (const CommandRun& run : ran)
        if (run.outcome.kind != Outcome::Kind::Applied) return run;
    return std::nullopt;
}

// The setting a command stands for in the answer: the first of the set
// that it applies.
std::string settingOf(const CommandRun& run, const ChangeSet& set) {
    if (std::strcmp(run.submit, "codec_submit") == 0 && run.radio && std::strcmp(run.radio, "ctrlts") == 0)
        return "codec_template";
    for (const auto& [setting, value] : set.settings)
        if (setting->submit && std::strcmp(setting->submit, run.submit) == 0 &&
            (!run.radio || (setting->radio && std::strcmp(setting->radio, run.radio) == 0)))
            return dottedName(*setting);
    return run.submit;
}

// Puts every file back after a refusal, a failure or a value that did not
// read back; says so in the log.
void undo(const std::string& why) {
    const platform::Recovery recovery = platform::recoverJournal(false);
    audit::event(true, "set: " + why + (recovery == platform::Recovery::Restored
                                            ? "; every file put back, nothing changed"
                                            : "; the files could not all be put back yet"));
}

// Applies the settings and template of a set under a journal. nullopt:
// every value was already held, nothing written; null: refused, failed or
// not stored, every file put back and the answer written; otherwise the
// document (with secrets) after the set.
std::optional<json> applySet(const ChangeSet& set, const json& before) {
    const bool swap = set.codecTemplate && before["codec_template"] != *set.codecTemplate;
    std::vector<std::pair<const Setting*, json>> changes;
    for (const auto& [setting, value] : set.settings)
        if (!sameValue(*setting, at(before, *setting), value)) changes.push_back({setting, value});
    if (!swap && changes.empty()) return std::nullopt;
    if (!platform::beginJournal(journaledFiles(swap))) {
        audit::event(true, "set: the journal cannot be written; nothing changed");
        fail("500 Internal Server Error", "", "the journal of the change cannot be written; nothing changed");
        return json(nullptr);
    }
    const auto refuse = [&](const CommandRun& run) {
        const bool refused = run.outcome.kind == Outcome::Kind::Refused;
        const std::string setting = settingOf(run, set);
        undo(std::string(refused ? "refused" : "failed") + " by " + run.submit);
        reply("409 Conflict", "",
              json{{"error", refused ? "refused" : "failed"}, {"setting", setting}, {"reply", run.outcome.words}});
        return json(nullptr);
    };
    json held = before;
    if (swap) {
        const char* word = std::strcmp(set.codecTemplate->c_str(), "mp3") == 0 ? "female" : "male";
        if (std::optional<CommandRun> problem = runQuietly({{"codec_submit", ""}, {"ctrlts", word}}))
            return refuse(*problem);
        // What the swap left is what the settings of the set now change.
        held = document(true);
        changes.clear();
        for (const auto& [setting, value] : set.settings)
            if (!sameValue(*setting, at(held, *setting), value)) changes.push_back({setting, value});
    }
    if (!changes.empty())
        if (std::optional<CommandRun> problem = runQuietly(fieldsFor(changes, held))) return refuse(*problem);
    // What the client is told is what the device holds: every value of the
    // set must read back as it was sent.
    json after = document(true);
    for (const auto& [setting, value] : set.settings) {
        if (sameValue(*setting, at(after, *setting), value)) continue;
        undo("not stored: " + dottedName(*setting));
        reply("409 Conflict", "",
              json{{"error", "not stored"}, {"setting", dottedName(*setting)},
                   {"reply", "the device does not read the value back as sent"}});
        return json(nullptr);
    }
    if (!platform::commitJournal()) {
        undo("the files could not be flushed to storage");
        fail("500 Internal Server Error", "", "the change could not be flushed to storage; nothing changed");
        return json(nullptr);
    }
    return after;
}

}  // namespace

void answerChangeSet() {
    const std::string contentType = platform::environment("CONTENT_TYPE");
    const std::string media = platform::asciiLower(contentType.substr(0, contentType.find(';')));
    const std::string type = media.substr(0, media.find_last_not_of(" \t") + 1);
    if (type != "application/json" && type != "application/merge-patch+json")
        return fail("415 Unsupported Media Type", "",
                    "a change set is sent as application/json or application/merge-patch+json");
    if (!platform::environment("QUERY_STRING").empty())
        return fail("400 Bad Request", "", "a change set takes no query parameters");
    std::variant<std::string, platform::BodyProblem> body = platform::readBody(kMaxChangeSetBytes);
    if (const platform::BodyProblem* why = std::get_if<platform::BodyProblem>(&body)) {
        switch (*why) {
            case platform::BodyProblem::NoLength:
                return fail("411 Length Required", "", "a change set needs a Content-Length; nothing was done");
            case platform::BodyProblem::TooLarge:
                return fail("413 Content Too Large", "", "a change set may hold at most " +
                                                         std::to_string(kMaxChangeSetBytes) + " bytes");
            case platform::BodyProblem::BadLength:
                return fail("400 Bad Request", "", "the Content-Length is not a number; nothing was done");
            case platform::BodyProblem::ShortBody:
                return fail("400 Bad Request", "", "the body is shorter than its Content-Length; nothing was done");
        }
    }
    const json parsed = json::parse(std::get<std::string>(body), nullptr, false);
    if (parsed.is_discarded()) return fail("400 Bad Request", "", "the body is not JSON; nothing was done");

    const platform::Lock lock = platform::lockSettings(platform::LockMode::Exclusive);
    if (lock == platform::Lock::Busy)
        return fail("503 Service Unavailable", "Retry-After: " + std::to_string(kRetryAfterSeconds) + "\r\n",
                    "another request is changing the settings");
    if (lock == platform::Lock::Unrecovered) return fail("500 Internal Server Error", "", platform::kUnrecoveredRefusal);

    const std::string revisionBefore = revision();
    const char* wanted = std::getenv("HTTP_IF_MATCH");
    if (wanted && !listNamesTag(wanted, "\"" + revisionBefore + "\"", false)) {
        audit::event(true, "set: refused, the device changed since the client read it (now " + revisionBefore +
                               "); nothing changed");
        reply("412 Precondition Failed", "ETag: \"" + revisionBefore + "\"\r\n",
              json{{"error", "changed"}, {"revision", revisionBefore}});
        return;
    }
    platform::probeModelFlag();
    const json before = document(true);
    const json& outputs = before["settings"]["outputs"];
    const std::string heldUrl =
        outputs["rtmp_url"].is_string()
            ? settings::joinRtmpUrl({outputs["rtmp_url"].get<std::string>(), outputs.value("rtmp_key", std::string())})
            : std::string();
    ChangeSet set;
    const std::vector<SetError> errors = checkChangeSet(parsed, heldUrl, set);
    if (!errors.empty()) {
        json list = json::array();
        for (const SetError& e : errors)
            list.push_back({{"setting", e.setting}, {"rule", e.rule}, {"message", e.message}});
        audit::event(true, "set: refused, " + std::to_string(errors.size()) + " value(s) against the schema (" +
                               errors.front().setting + ": " + errors.front().rule + "); nothing changed");
        reply("422 Unprocessable Content", "", json{{"errors", list}});
        return;
    }

    // A confirmation needs a trial, a trial a record of the start: both are
    // known before anything is written.
    if (const std::optional<Trial> trial = readTrial();
        (set.confirm || set.goBack) && (!trial || trial->rollingBack)) {
        reply("409 Conflict", "", json{{"error", "no trial"}, {"reply", "no restart trial is running; nothing was done"}});
        return;
    }
    if (set.confirmWithin && !startRecordOfThisBoot(false)) {
        reply("409 Conflict", "",
              json{{"error", "no record of the start"},
                   {"reply", "webcfg-boot has not recorded this start, so a trial has nothing to go back to; "
                             "nothing was done"}});
        return;
    }

    // From the first write to the answer, a client that leaves or a server
    // that stops us cannot cut the set short.
    platform::SignalHold hold;
    audit::setChangeSet(revisionBefore);
    if (set.goBack) {
        json changed;
        switch (goBackNow(changed)) {
            case GoBackNow::NoTrial:
                reply("409 Conflict", "",
                      json{{"error", "no trial"},
                           {"reply", "the trial's countdown does not run in this start; nothing was done"}});
                return;
            case GoBackNow::Failed:
                return fail("500 Internal Server Error", "",
                            "the settings before the restart could not be put back or flushed; see the audit log");
            case GoBackNow::Done:
                reply("202 Accepted", "", json{{"restarting", true}, {"rolled_back", {{"settings", changed}}}});
                platform::runShell("reboot");
                return;
        }
    }
    json after = before;
    json changed = json::array();
    if (std::optional<json> applied = applySet(set, before)) {
        after = std::move(*applied);
        if (after.is_null()) return;  // answered: refused, failed or not stored
        const bool swapped = set.codecTemplate && before["codec_template"] != *set.codecTemplate;
        if (swapped || after["codec_template"] != before["codec_template"]) changed.push_back("codec_template");
        for (const json& name : settingsDifferences(before["settings"], after["settings"])) changed.push_back(name);
        audit::event(false, "set: applied, " + std::to_string(changed.size()) + " setting(s) changed");
        platform::noteChangeInThisBoot();
        platform::removeSaved(kRolledBackPath);
    }
    if (set.confirm) {
        confirmTrial();
        audit::event(false, "trial: confirmed; the device keeps its settings");
    }
    if (set.restart) {
        if (set.confirmWithin && !armTrial(*set.confirmWithin)) {
            audit::event(true, "trial: cannot be armed; no restart");
            return fail("500 Internal Server Error", "", "the restart trial cannot be armed; the device does not restart");
        }
        json answer = {{"restarting", true}};
        if (set.confirmWithin) answer["confirm_within"] = *set.confirmWithin;
        reply("202 Accepted", "", answer);
        audit::event(false, set.confirmWithin ? "restart: with a trial of " + std::to_string(*set.confirmWithin) + " s"
                                              : std::string("restart"));
        platform::runShell("reboot");
        return;
    }
    const std::string revisionAfter = revision();
    const json state = document(false);
    json answer = {{"changed", changed}, {"revision", revisionAfter},
                   {"reboot_pending", state["reboot_pending"]}, {"state", state}};
    reply("200 OK", "ETag: \"" + revisionAfter + "\"\r\n", answer);
}

}  // namespace state
