// The change-set checker on any body, against the schema of a laid-out
// device. Whatever the bytes, it answers: a body that is no JSON is
// refused before it; every error names a schema keyword; a set it takes
// holds only writable settings of their kind, and the same set sent again
// is taken again.
#include <cstdint>
#include <set>
#include <string>

#include "state/change_set.h"
#include "state/state.h"
#include "support/fuzz_root.h"

namespace {

using nlohmann::json;

const std::set<std::string> kRules = {"type",      "enum",       "minimum",   "maximum",   "minLength",
                                      "maxLength", "x-minBytes", "x-maxBytes", "pattern", "readOnly",
                                      "required",  "additionalProperties"};

bool ofKind(const json& value, state::Kind kind) {
    switch (kind) {
        case state::Kind::String:
            return value.is_string();
        case state::Kind::Integer:
            return value.is_number();
        case state::Kind::Boolean:
            return value.is_boolean();
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::enterRoot();
    fuzzing::put("/mnt/autorun.sh",
                 "ip=192.168.18.209\nnetmask=255.255.255.0\ngateway=192.168.18.1\nexport GW=$gateway\n"
                 "tz=192.168.18.122\ntc=1234\nfi=100\nctrlencode=1\nctrlcodec=1\nbitrate=2000000\n"
                 "framerate=25\naudiosample=44100\naudiobps=96000\nwidth=1024\nheight=768\n"
                 "url=rtmp://192.168.18.7/live/kovra\nend\n");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const json body = json::parse(fuzzing::text(data, size), nullptr, false);
    if (body.is_discarded()) return 0;
    state::ChangeSet set;
    const std::vector<state::SetError> errors =
        state::checkChangeSet(body, "rtmp://192.168.18.7/live/kovra", set);
    for (const state::SetError& e : errors) {
        FUZZ_CHECK(kRules.count(e.rule));
        FUZZ_CHECK(!e.message.empty());
    }
    if (!errors.empty()) return 0;
    json again = json::object();
    if (set.codecTemplate) again["codec_template"] = *set.codecTemplate;
    again["settings"] = json::object();
    for (const auto& [setting, value] : set.settings) {
        FUZZ_CHECK(setting->access != state::Access::ReadOnly);
        FUZZ_CHECK(ofKind(value, setting->kind));
        json& section = again["settings"][setting->section];
        (setting->group ? section[setting->group] : section)[setting->name] = value;
    }
    state::ChangeSet second;
    FUZZ_CHECK(state::checkChangeSet(again, "rtmp://192.168.18.7/live/kovra", second).empty());
    FUZZ_CHECK(second.settings.size() == set.settings.size());
    return 0;
}
