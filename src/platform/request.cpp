// Cross-site refusal, in the programs themselves: not every web server the
// device may run (busybox httpd) can refuse such requests on its own.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace platform {
namespace {

std::optional<std::string> variable(const char* name) {
    const char* v = std::getenv(name);
    if (!v) return std::nullopt;
    return std::string(v);
}

struct Origin {
    std::string scheme, host, port;
};

// "host", "host:port", "[v6]" or "[v6]:port", the port defaulting to the
// scheme's; nullopt for anything else.
std::optional<Origin> withAuthority(const std::string& scheme, const std::string& authority) {
    std::string host = authority, port;
    const std::size_t close = authority.rfind(']');
    const std::size_t colon = authority.rfind(':');
    if (colon != std::string::npos && (close == std::string::npos || colon > close)) {
        host = authority.substr(0, colon);
        port = authority.substr(colon + 1);
        if (port.empty() || port.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        port.erase(0, std::min(port.find_first_not_of('0'), port.size() - 1));
    }
    if (host.empty() || host.find_first_of("/?#@ \t") != std::string::npos) return std::nullopt;
    if (port.empty()) port = scheme == "https" ? "443" : "80";
    return Origin{scheme, asciiLower(host), port};
}

// An Origin header is "scheme://authority" and nothing more; "null" (an
// opaque origin) and any path make it no origin at all.
std::optional<Origin> parseOrigin(const std::string& text) {
    const std::size_t sep = text.find("://");
    if (sep == std::string::npos) return std::nullopt;
    const std::string scheme = asciiLower(text.substr(0, sep));
    if (scheme != "http" && scheme != "https") return std::nullopt;
    return withAuthority(scheme, text.substr(sep + 3));
}

}  // namespace

RequestSource requestSource() {
    RequestSource source;
    source.origin = variable("HTTP_ORIGIN");
    source.fetchSite = variable("HTTP_SEC_FETCH_SITE");
    source.host = variable("HTTP_HOST");
    const std::string https = asciiLower(variable("HTTPS").value_or(""));
    source.https = https == "on" || https == "1" ||
                   asciiLower(variable("REQUEST_SCHEME").value_or("")) == "https";
    return source;
}

bool fromAnotherSite(const RequestSource& source) {
    if (source.fetchSite && *source.fetchSite != "same-origin" && *source.fetchSite != "none")
        return true;
    if (!source.origin) return false;
    // A form of the device's own page, posted under "Referrer-Policy:
    // no-referrer", carries the opaque origin; the browser's mark vouches.
    if (*source.origin == "null" && source.fetchSite && *source.fetchSite == "same-origin") return false;
    // Without the Host it was sent to, no origin can be shown to be ours.
    if (!source.host) return true;
    const std::optional<Origin> from = parseOrigin(*source.origin);
    const std::optional<Origin> own = withAuthority(source.https ? "https" : "http", *source.host);
    return !from || !own || from->scheme != own->scheme || from->host != own->host ||
           from->port != own->port;
}

std::string environment(const char* name) { return variable(name).value_or(""); }

std::variant<std::size_t, BodyProblem> contentLength(const std::optional<std::string>& text,
                                                     std::size_t most) {
    if (!text) return BodyProblem::NoLength;
    for (char c : *text)
        if (c < '0' || c > '9') return BodyProblem::BadLength;
    std::size_t n = 0;
    for (char c : *text) {
        n = n * 10 + static_cast<std::size_t>(c - '0');
        if (n > most) return BodyProblem::TooLarge;
    }
    return n;
}

std::variant<std::string, BodyProblem> readBody(std::size_t most) {
    std::variant<std::size_t, BodyProblem> length = contentLength(variable("CONTENT_LENGTH"), most);
    if (const BodyProblem* why = std::get_if<BodyProblem>(&length)) return *why;
    const std::size_t n = std::get<std::size_t>(length);
    std::string body(n, '\0');
    std::size_t got = 0;
    while (got < n) {
        const std::size_t r = std::fread(&body[got], 1, n - got, stdin);
        if (r == 0) break;
        got += r;
    }
    if (got < n) return BodyProblem::ShortBody;
    return body;
}

}  // namespace platform
