// The start record and the trial are files in /mnt replaced whole, like
// every settings file: a power cut leaves the old one or the new one. The
// trial's countdown trusts no wall clock (a device without one starts in
// 1970): only the kernel's uptime within one boot, and the boot's identity.
#include "state/restart.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "platform/audit.h"
#include "platform/platform.h"
#include "state/change_set.h"
#include "state/settings_table.h"
#include "state/state.h"

namespace state {
namespace {

using json = nlohmann::json;

constexpr const char* kStartMagic = "webcfg start 1\n";
constexpr const char* kTrialMagic = "webcfg trial 1\n";

// The next line of text from at (without its line end), moving at past it.
std::optional<std::string> line(const std::string& text, std::size_t& at) {
    const std::size_t eol = text.find('\n', at);
    if (eol == std::string::npos) return std::nullopt;
    std::string l = text.substr(at, eol - at);
    at = eol + 1;
    return l;
}

std::optional<std::string> after(const std::optional<std::string>& l, const char* key) {
    const std::size_t n = std::strlen(key);
    if (!l || l->compare(0, n, key) != 0) return std::nullopt;
    return l->substr(n);
}

std::string encodeTrial(const Trial& t) {
    return std::string(kTrialMagic) + "confirm_within " + std::to_string(t.confirmWithin) + "\n" +
           "countdown " + (t.bootId.empty() ? "-" : t.bootId) + " " + std::to_string(t.startedAt) + "\n" +
           "state " + (t.rollingBack ? "rolling-back" : "counting") + "\n" + platform::encodeFiles(t.base);
}

bool writeTrial(const Trial& t) { return platform::writeFile(kTrialPath, encodeTrial(t), 0600); }

// Puts back the files the device ran before the trial, as one change set
// (a kill halfway is undone at the next start, which then goes back
// again), notes what changed and ends the trial: the settings changed, or
// nullopt (logged) when they could not be put back or flushed. The caller
// restarts the device.
std::optional<json> goBack(Trial trial, const std::string& why) {
    trial.rollingBack = true;
    writeTrial(trial);
    const json before = document(true);
    std::vector<std::string> paths;
    for (const platform::SavedFile& f : trial.base) paths.push_back(f.path);
    bool ok = platform::beginJournal(paths);
    for (const platform::SavedFile& f : trial.base) ok = ok && platform::putBack(f);
    if (!ok) {
        platform::recoverJournal(false);
        audit::event(true, "trial: the settings before the restart could not be put back; they stay as they are");
        return std::nullopt;
    }
    if (!platform::commitJournal()) {
        // The next request undoes it; the trial stays marked, so the next
        // start goes back again.
        audit::event(true, "trial: the settings before the restart could not be flushed to storage; "
                           "the next start goes back again");
        return std::nullopt;
    }
    json changed = settingsDifferences(before["settings"], document(true)["settings"]);
    platform::writeFile(kRolledBackPath, json{{"settings", changed}}.dump() + "\n", 0600);
    platform::removeSaved(kTrialPath);
    audit::event(true, why + "; went back to the settings before the restart (" + changed.dump() + "); restarting");
    return changed;
}

std::string notConfirmed(const Trial& trial) {
    return "trial: not confirmed within " + std::to_string(trial.confirmWithin) + " s";
}

// The countdown, in a process of its own that outlives webcfg-boot.
[[noreturn]] void countDown() {
    for (;;) {
        ::sleep(kTrialPollSeconds);
        {
            const std::optional<Trial> trial = readTrial();
            if (!trial || trial->bootId != platform::bootId()) ::_exit(0);  // confirmed, or another start took over
            if (secondsLeft(*trial) > 0) continue;
        }
        if (platform::lockSettings() != platform::Lock::Held) continue;
        // Confirmed while the lock was awaited: nothing to do.
        if (std::optional<Trial> trial = readTrial(); trial && secondsLeft(*trial) == 0)
            if (goBack(*trial, notConfirmed(*trial))) platform::runShell("reboot");
        ::_exit(0);
    }
}

}  // namespace

std::optional<StartRecord> startRecordOfThisBoot(bool withFiles) {
    const std::optional<std::string> text = platform::readFile(kStartRecordPath);
    if (!text || text->compare(0, std::strlen(kStartMagic), kStartMagic) != 0) return std::nullopt;
    std::size_t at = std::strlen(kStartMagic);
    StartRecord record;
    const std::optional<std::string> boot = after(line(*text, at), "boot ");
    if (!boot || boot->empty() || *boot != platform::bootId()) return std::nullopt;
    record.bootId = *boot;
    // One line a value, as the document dumps it: compared as text, so that
    // a document need not parse the record back.
    for (;;) {
        const std::size_t lineStart = at;
        std::optional<std::string> l = line(*text, at);
        if (!l) return std::nullopt;
        if (std::optional<std::string> t = after(l, "template ")) {
            record.codecTemplate = *t;
            continue;
        }
        std::optional<std::string> v = after(l, "value ");
        if (!v) {
            at = lineStart;
            break;
        }
        const std::size_t space = v->find(' ');
        if (space == std::string::npos) return std::nullopt;
        record.values[v->substr(0, space)] = v->substr(space + 1);
    }
    if (withFiles) {
        std::optional<std::vector<platform::SavedFile>> files = platform::decodeFiles(*text, at);
        if (!files || at != text->size()) return std::nullopt;
        record.files = std::move(*files);
    }
    return record;
}

std::optional<Trial> readTrial() {
    const std::optional<std::string> text = platform::readFile(kTrialPath);
    if (!text || text->compare(0, std::strlen(kTrialMagic), kTrialMagic) != 0) return std::nullopt;
    std::size_t at = std::strlen(kTrialMagic);
    Trial t;
    const std::optional<std::string> within = after(line(*text, at), "confirm_within ");
    const std::optional<std::string> countdown = after(line(*text, at), "countdown ");
    const std::optional<std::string> state = after(line(*text, at), "state ");
    if (!within || !countdown || !state) return std::nullopt;
    t.confirmWithin = platform::atoiValue(*within);
    const std::size_t space = countdown->find(' ');
    if (space == std::string::npos) return std::nullopt;
    t.bootId = countdown->substr(0, space) == "-" ? "" : countdown->substr(0, space);
    t.startedAt = std::atoll(countdown->c_str() + space + 1);
    t.rollingBack = *state == "rolling-back";
    std::optional<std::vector<platform::SavedFile>> base = platform::decodeFiles(*text, at);
    if (!base || at != text->size()) return std::nullopt;
    t.base = std::move(*base);
    return t;
}

long long secondsLeft(const Trial& trial) {
    const std::optional<long long> now = platform::uptimeSeconds();
    if (trial.bootId.empty() || trial.bootId != platform::bootId() || !now) return trial.confirmWithin;
    return std::max(0LL, trial.confirmWithin - (*now - trial.startedAt));
}

bool armTrial(long long confirmWithin) {
    const std::optional<StartRecord> start = startRecordOfThisBoot(true);
    if (!start) return false;
    Trial t;
    t.confirmWithin = confirmWithin;
    t.base = start->files;
    return writeTrial(t);
}

bool confirmTrial() {
    const std::optional<Trial> trial = readTrial();
    if (!trial || trial->rollingBack) return false;
    platform::removeSaved(kTrialPath);
    return true;
}

GoBackNow goBackNow(json& changed) {
    const std::optional<Trial> trial = readTrial();
    if (!trial || trial->rollingBack || trial->bootId != platform::bootId()) return GoBackNow::NoTrial;
    std::optional<json> gone = goBack(*trial, "trial: refused by a client before its end");
    if (!gone) return GoBackNow::Failed;
    changed = std::move(*gone);
    return GoBackNow::Done;
}

void describeRestart(const json& settings, const json& codecTemplate, json& document) {
    if (const std::optional<StartRecord> start = startRecordOfThisBoot(false)) {
        // The template first, as a change set's "changed" lists it; what
        // runs of each (a secret never shown) beside.
        json pending = json::array(), running = json::object();
        if (start->codecTemplate != codecTemplate.dump()) {
            pending.push_back("codec_template");
            running["codec_template"] = json::parse(start->codecTemplate, nullptr, false);
        }
        for (const Setting& s : settingsTable()) {
            if (s.access == Access::ReadOnly) continue;
            const std::string name = dottedName(s);
            const json now = settingValue(settings, s);
            const auto was = start->values.find(name);
            if (was == start->values.end()) continue;
            if (was->second == now.dump()) continue;
            // Only a text the stored form cannot tell apart needs reading back.
            if (now.is_string() && sameValue(s, json::parse(was->second, nullptr, false), now)) continue;
            pending.push_back(name);
            if (s.access != Access::WriteOnly) running[name] = json::parse(was->second, nullptr, false);
        }
        document["pending"] = pending;
        document["running"] = running;
        document["reboot_pending"] = !pending.empty();
    } else {
        document["pending"] = nullptr;
    }
    if (const std::optional<Trial> trial = readTrial()) document["trial"] = {{"seconds_left", secondsLeft(*trial)}};
    if (const std::optional<std::string> text = platform::readFile(kRolledBackPath)) {
        const json rolled = json::parse(*text, nullptr, false);
        if (rolled.is_object() && rolled.contains("settings")) document["rolled_back"] = rolled;
    }
}

int bootMain() {
    // Whoever takes the lock first undoes an unfinished change set.
    if (platform::lockSettings() != platform::Lock::Held) {
        audit::event(true, "start: the settings are locked or an unfinished change cannot be undone; no record made");
        return 1;
    }
    platform::probeModelFlag();
    const std::string boot = platform::bootId();
    std::optional<Trial> trial = readTrial();
    if (trial && trial->rollingBack) {
        // A going back cut short by a power cut: finished now.
        if (!goBack(*trial, notConfirmed(*trial) + " (finished at this start)")) return 1;
        platform::runShell("reboot");
        return 0;
    }
    const std::optional<std::vector<platform::SavedFile>> files = platform::saveFiles(changeableFiles());
    const json doc = document(true);
    if (boot.empty() || !files) {
        audit::event(true, "start: no boot identity or a settings file cannot be read; no record made");
    } else {
        std::string record = std::string(kStartMagic) + "boot " + boot + "\ntemplate " +
                             doc["codec_template"].dump() + "\n";
        for (const Setting& s : settingsTable())
            if (s.access != Access::ReadOnly)
                record += "value " + dottedName(s) + " " + settingValue(doc["settings"], s).dump() + "\n";
        platform::writeFile(kStartRecordPath, record + platform::encodeFiles(*files), 0600);
    }
    if (!trial) return 0;
    // Every start of a trial counts from its whole window: no clock is
    // trusted across a power cut.
    trial->bootId = boot;
    trial->startedAt = platform::uptimeSeconds().value_or(0);
    if (!writeTrial(*trial)) return 1;
    platform::unlockSettings();
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid != 0) return pid > 0 ? 0 : 1;
    ::setsid();
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null >= 0) {
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
    }
    countDown();
}

}  // namespace state
