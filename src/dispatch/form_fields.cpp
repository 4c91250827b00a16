// The cgic calls over the fields of this request: what every command reads.
// Kept apart from the request parser, which brings in cgicc (and its
// iostreams), so that a program that only reads settings links none of it.
#include <cstdio>

#include "dispatch/cgic.h"
#include "platform/audit.h"

FILE* cgiOut = stdout;

namespace form {
namespace {

Fields g_fields;
std::string g_method;

const std::pair<std::string, std::string>* find(const char* name) {
    const std::pair<std::string, std::string>* found = nullptr;
    for (const auto& field : g_fields) {
        if (field.first == name) {
            found = &field;  // the first occurrence wins
            break;
        }
    }
    audit::fieldRead(name, found ? &found->second : nullptr);
    return found;
}

cgiFormResultType choose(const char* name, const char* const* choices, int total, int* result,
                         int defaultV) {
    *result = defaultV;
    const auto* field = find(name);
    if (!field) return cgiFormNotFound;
    for (int i = 0; i < total; ++i) {
        if (field->second == choices[i]) {  // whole value: an embedded NUL matches nothing
            *result = i;
            return cgiFormSuccess;
        }
    }
    return cgiFormNoSuchChoice;
}

}  // namespace

void install(Fields fields) { g_fields = std::move(fields); }

void setMethod(std::string method) { g_method = std::move(method); }

const std::string& method() { return g_method; }

// Here rather than beside run(): the commands call it, and the state
// program, which links the commands but never reads a form, would carry the
// form parser and cgicc with it.
void answer(const char* status, const std::string& extraHeaders, const char* line) {
    std::fprintf(stdout, "Status: %s\r\n%s", status, extraHeaders.c_str());
    cgiOut = stdout;
    cgiHeaderContentType("text/plain");
    std::puts(line);
    std::fflush(stdout);
}

}  // namespace form

// Replies may hold settings a client should not keep: no cache stores them.
void cgiHeaderContentType(const char* mimeType) {
    std::fprintf(cgiOut, "Content-type: %s\r\nCache-Control: no-store\r\n\r\n", mimeType);
}

cgiFormResultType cgiFormSubmitClicked(const char* name) {
    return form::find(name) ? cgiFormSuccess : cgiFormNotFound;
}

cgiFormResultType cgiFormRadio(const char* name, const char* const* choices, int choicesTotal,
                               int* result, int defaultV) {
    return form::choose(name, choices, choicesTotal, result, defaultV);
}

cgiFormResultType cgiFormSelectSingle(const char* name, const char* const* choices,
                                      int choicesTotal, int* result, int defaultV) {
    return form::choose(name, choices, choicesTotal, result, defaultV);
}

cgiFormResultType cgiFormStringNoNewlines(const char* name, std::string& result,
                                          std::size_t max) {
    result.clear();
    const auto* field = form::find(name);
    if (!field) return cgiFormNotFound;
    std::string value;
    value.reserve(field->second.size());
    for (char c : field->second)
        if (c != '\r' && c != '\n') value += c;
    if (value.size() + 1 > max || value.find('\0') != std::string::npos) return cgiFormTruncated;
    if (value.empty()) return cgiFormEmpty;
    result = std::move(value);
    return cgiFormSuccess;
}
