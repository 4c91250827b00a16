// Where a request says it comes from, and the RTMP address split into its
// secret and the rest. The input is four lines and the address:
//   Origin \n Sec-Fetch-Site \n Host \n HTTPS ("1": on) \n address
// An empty line stands for a header that was not sent. Another site is
// refused whatever Origin says when Sec-Fetch-Site names another site,
// and a request without either passes; the address's parts read back from
// their join, and neither a reply nor the audit log shows the key.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/audit.h"
#include "platform/platform.h"
#include "settings/rules.h"
#include "support/fuzz_root.h"

namespace {

std::optional<std::string> header(const std::string& line) {
    if (line.empty()) return std::nullopt;
    return line;
}

// A key that shows up in a text only by being there: long enough not to
// happen by chance, of bytes the audit log writes as they are, and none of
// the masks' or the cut mark's.
bool traceable(const std::string& key, const std::string& address) {
    // Nor may the address stand for it, as written or as the log escapes it.
    if (key.size() < 6 || (address + "/").find(key) != std::string::npos ||
        (address + "?").find(key) != std::string::npos ||
        audit::loggedValue("rtmpurl", address).find(key) != std::string::npos)
        return false;
    for (unsigned char c : key)
        if (c < 0x21 || c > 0x7e || c == '"' || c == '\\' || c == ';' || c == '*' || c == '[' || c == ']')
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string input = fuzzing::text(data, size);
    platform::RequestSource source;
    source.origin = header(fuzzing::takeLine(input));
    source.fetchSite = header(fuzzing::takeLine(input));
    source.host = header(fuzzing::takeLine(input));
    source.https = fuzzing::takeLine(input) == "1";
    const bool refused = platform::fromAnotherSite(source);
    const bool marked = source.fetchSite && *source.fetchSite != "same-origin" && *source.fetchSite != "none";
    if (marked && !refused) std::abort();
    if (!source.origin && !marked && refused) std::abort();

    const settings::RtmpUrl parts = settings::splitRtmpUrl(input);
    const settings::RtmpUrl again = settings::splitRtmpUrl(settings::joinRtmpUrl(parts));
    if (again.address != parts.address || again.key != parts.key) std::abort();
    if (traceable(parts.key, parts.address) &&
        (settings::shownRtmpUrl(input).find(parts.key) != std::string::npos ||
         audit::loggedValue("rtmpurl", input).find(parts.key) != std::string::npos))
        std::abort();
    return 0;
}
