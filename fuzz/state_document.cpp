// The state document's readers on any files. The input is up to sixteen
// sections separated by 0x1E, the files below in order (a missing section
// is a missing file). The document must come out for every input, with
// every setting of its table present and of its kind or null, every
// unreadable path one of the files, and no file touched.
#include <cstdint>
#include <string>

#include "state/settings_table.h"
#include "state/state.h"
#include "support/fuzz_root.h"

namespace {

const char* const kFiles[] = {
    "/mnt/autorun.sh",   "/mnt/wifi/wpa.conf",     "/mnt/wifi/wifi_ip.conf", "/mnt/m.ini",
    "/mnt/zk.ini",       "/mnt/format.ini",        "/mnt/mk120.ini",         "/mnt/asound.state",
    "/mnt/color.ini",    "/mnt/mac.sh",            "/mnt/kovra_encLevel.ini", "/mnt/kovra_maxdelay.ini",
    "/mnt/ts.ini",       "/mnt/rtsporrtmp.ini",    "/mnt/kovra_rsc.ini",     "/tmp/format.ini",
};
constexpr std::size_t kFileCount = sizeof kFiles / sizeof kFiles[0];

bool ofKind(const nlohmann::json& value, state::Kind kind) {
    if (value.is_null()) return true;
    switch (kind) {
        case state::Kind::String:
            return value.is_string();
        case state::Kind::Integer:
            return value.is_number_integer();
        case state::Kind::Boolean:
            return value.is_boolean();
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::enterRoot();
    fuzzing::put("/mnt/wifi/ifwifi", "0\n");
    fuzzing::put("/mnt/rtsp.ini", "1\n");
    fuzzing::put("/mnt/autorun.sh.h264.aac.org", "ip=1.2.3.4\nend\n");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto parts = fuzzing::sections(fuzzing::text(data, size), kFileCount);
    for (std::size_t i = 0; i < kFileCount; ++i) {
        if (parts[i])
            fuzzing::put(kFiles[i], *parts[i]);
        else
            fuzzing::remove(kFiles[i]);
    }
    fuzzing::startRequest();
    const nlohmann::json document = state::document(true);
    // Whatever bytes the files hold, the reply is well-formed JSON.
    const std::string text = document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    FUZZ_CHECK(nlohmann::json::parse(text, nullptr, false).is_object());

    for (const state::Setting& setting : state::settingsTable()) {
        const nlohmann::json& section = document["settings"][setting.section];
        const nlohmann::json& owner = setting.group ? section[setting.group] : section;
        FUZZ_CHECK(owner.contains(setting.name));
        FUZZ_CHECK(ofKind(owner[setting.name], setting.kind));
    }
    for (const nlohmann::json& path : document["unreadable"]) {
        bool known = false;
        for (std::size_t i = 0; i < kFileCount; ++i) known = known || (path == kFiles[i] && parts[i]);
        FUZZ_CHECK(known);
    }
    for (std::size_t i = 0; i < kFileCount; ++i) FUZZ_CHECK(fuzzing::get(kFiles[i]) == parts[i]);
    return 0;
}
