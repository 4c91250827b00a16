// The cgic calls over the fields of this request, the text-field
// convention and the outcome of each command. Kept apart from the request
// parser, which brings in cgicc (and its iostreams), so that a program
// that only reads settings links none of it.
#include "platform/fields.h"

#include <cstdio>
#include <cstring>

#include "platform/audit.h"
#include "platform/platform.h"
#include "settings/rules.h"

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

bool readTextField(const char* name, std::string& value) {
    switch (cgiFormStringNoNewlines(name, value, kTextFieldSize)) {
        case cgiFormTruncated:
            replyRefusal("error len");
            return false;
        case cgiFormEmpty:
            replyRefusal("input empty");
            return false;
        case cgiFormSuccess:
            break;
        default:
            return false;
    }
    const settings::ValueRule* rule = settings::ruleForField(name);
    if (!rule) return true;
    if (const char* refusal = settings::refusalFor(*rule, value)) {
        replyRefusal(refusal);
        return false;
    }
    return true;
}

namespace {

Outcome g_outcome;

void note(Outcome::Kind kind, const char* words) {
    if (g_outcome.kind != Outcome::Kind::Applied) return;
    g_outcome.kind = kind;
    g_outcome.words = words;
    if (!g_outcome.words.empty() && g_outcome.words.back() == '\n') g_outcome.words.pop_back();
}

}  // namespace

namespace command {

void begin() { g_outcome = Outcome{}; }

Outcome end() { return std::exchange(g_outcome, Outcome{}); }

}  // namespace command

void replyRefusal(const char* text) {
    std::fputs(text, cgiOut);
    note(Outcome::Kind::Refused, text);
}

void replyRefusalLine(const char* line) {
    std::puts(line);
    note(Outcome::Kind::Refused, line);
}

void replyFailed(const char* line) {
    std::puts(line);
    note(Outcome::Kind::Failed, line);
}

void replyCannotOpen(const char* line) { replyFailed(line); }

void echoFlagFile(int digit, const char* appliancePath) {
    if (platform::shellEcho(digit, appliancePath)) return;
    const char* slash = std::strrchr(appliancePath, '/');
    replyCannotOpen((std::string("Can't open file ") + (slash ? slash + 1 : appliancePath)).c_str());
}

