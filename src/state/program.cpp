// The state program's request handling: a GET with two known query
// parameters, under a shared lock so that a document never mixes the files
// from before and after one change; a POST is a change set.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/platform.h"
#include "state/change_set.h"
#include "state/state.h"

namespace state {
namespace {

using json = nlohmann::json;

constexpr const char* kJsonType = "application/json; charset=utf-8";

std::string envOr(const char* name) { return platform::environment(name); }

}  // namespace

void reply(const char* status, const std::string& extraHeaders, const json& body) {
    if (status) std::printf("Status: %s\r\n", status);
    std::printf("Content-Type: %s\r\nCache-Control: no-store\r\n%s\r\n", kJsonType,
                extraHeaders.c_str());
    // Bytes that are not UTF-8 (a hand-written network name) must not stop
    // the document: they are replaced, never passed on raw.
    const std::string text = body.dump(-1, ' ', false, json::error_handler_t::replace);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputs("\n", stdout);
    std::fflush(stdout);
}

void fail(const char* status, const std::string& extraHeaders, const std::string& message) {
    reply(status, extraHeaders, json{{"error", message}});
}

namespace {

struct Query {
    bool secrets = false;
    bool schema = false;
    std::string problem;  // empty when the query is understood
};

// Only "secrets" and "schema", each with the value 1 or 0 (or none, which
// counts as 1); anything else is refused rather than ignored.
Query parseQuery(const std::string& text) {
    Query query;
    for (std::size_t begin = 0; begin < text.size();) {
        std::size_t end = text.find('&', begin);
        if (end == std::string::npos) end = text.size();
        const std::string item = text.substr(begin, end - begin);
        begin = end + 1;
        if (item.empty()) continue;
        const std::size_t eq = item.find('=');
        const std::string name = item.substr(0, eq);
        const std::string value = eq == std::string::npos ? "1" : item.substr(eq + 1);
        bool* target = name == "secrets" ? &query.secrets : name == "schema" ? &query.schema : nullptr;
        if (!target) {
            query.problem = "unknown query parameter: " + name;
            return query;
        }
        if (value != "1" && value != "0") {
            query.problem = "query parameter " + name + " takes 1 or 0";
            return query;
        }
        *target = value == "1";
    }
    return query;
}

}  // namespace

bool listNamesTag(const std::string& list, const std::string& tag, bool weakToo) {
    for (std::size_t begin = 0; begin < list.size();) {
        std::size_t end = list.find(',', begin);
        if (end == std::string::npos) end = list.size();
        std::string item = list.substr(begin, end - begin);
        begin = end + 1;
        const std::size_t first = item.find_first_not_of(" \t");
        if (first == std::string::npos) continue;
        item = item.substr(first, item.find_last_not_of(" \t") - first + 1);
        if (weakToo && item.compare(0, 2, "W/") == 0) item.erase(0, 2);
        if (item == "*" || item == tag) return true;
    }
    return false;
}

int run() {
    const std::string method = envOr("REQUEST_METHOD");
    // Anything but a read is a change; another site's page may not make one.
    if (method != "GET" && platform::fromAnotherSite(platform::requestSource())) {
        fail("403 Forbidden", "", platform::kAnotherSiteRefusal);
        return 0;
    }
    if (method == "POST") {
        answerChangeSet();
        return 0;
    }
    if (method != "GET") {
        fail("405 Method Not Allowed", "Allow: GET, POST\r\n", "only GET and POST are answered here");
        return 0;
    }
    const Query query = parseQuery(envOr("QUERY_STRING"));
    if (!query.problem.empty()) {
        fail("400 Bad Request", "", query.problem);
        return 0;
    }
    // The schema reads the boot script too: how long a header value may be
    // depends on the others.
    const platform::Lock lock = platform::lockSettings(platform::LockMode::Shared);
    if (lock == platform::Lock::Unrecovered) {
        fail("500 Internal Server Error", "", platform::kUnrecoveredRefusal);
        return 0;
    }
    if (lock == platform::Lock::Busy) {
        fail("503 Service Unavailable", "Retry-After: " + std::to_string(kRetryAfterSeconds) + "\r\n",
             "another request is changing the settings");
        return 0;
    }
    if (query.schema) {
        reply(nullptr, "", settingsSchema());
        return 0;
    }
    // A client that holds this revision already is told so, without the
    // document (If-None-Match compares weakly: W/ is ignored).
    const std::string tag = "\"" + revision() + "\"";
    if (listNamesTag(envOr("HTTP_IF_NONE_MATCH"), tag, true)) {
        std::printf("Status: 304 Not Modified\r\nETag: %s\r\nCache-Control: no-store\r\n\r\n", tag.c_str());
        std::fflush(stdout);
        return 0;
    }
    platform::probeModelFlag();
    const json body = document(query.secrets);
    reply(nullptr, "ETag: " + tag + "\r\n", body);
    // The reply is out and flushed; the process ends here rather than
    // taking the document apart node by node first.
    std::_Exit(0);
}

}  // namespace state
