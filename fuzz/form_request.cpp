// The form adapter fed raw requests. The input is four control lines and
// the body:
//   REQUEST_METHOD \n CONTENT_TYPE \n CONTENT_LENGTH \n QUERY_STRING \n body
// A CONTENT_LENGTH line of "-" leaves the variable unset, "=" gives the
// body's own length; anything else is passed as written. The fields that
// come out are then read through every cgiForm call and the text-field
// rules, as the commands read them.
#include <cstdint>
#include <cstring>
#include <string>

#include "dispatch/cgic.h"
#include "dispatch/dispatch.h"
#include "support/fuzz_root.h"

namespace {

const char* const kChoiceWords[] = {"male", "female", "amale"};
const char* const kMenu[] = {"1", "2", "9", "41"};

// Fields with a row in the text-field rule table, and some without.
const char* const kTextFields[] = {
    "ip",   "rtmpurl", "ssid", "passkey",  "wifi_ip", "volume", "sub_text", "cvbr", "tc",
    "lr",   "bg",      "mac",  "mg_x",     "s_x",     "ttl",    "vs_width", "",
};

// Fields of an urlencoded text without escapes: "&" separates fields,
// empty ones are skipped, the first "=" ends the name (a field without one
// has an empty value), and "+" is a space.
form::Fields plainUrlencoded(std::string text) {
    for (char& c : text)
        if (c == '+') c = ' ';
    form::Fields fields;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t amp = text.find('&', start);
        if (amp == std::string::npos) amp = text.size();
        std::string segment = text.substr(start, amp - start);
        if (!segment.empty()) {
            std::size_t eq = segment.find('=');
            fields.emplace_back(segment.substr(0, eq),
                                eq == std::string::npos ? "" : segment.substr(eq + 1));
        }
        start = amp + 1;
    }
    return fields;
}

// Fields of a multipart body made only of plain parts, each "--B", CRLF,
// one Content-Disposition line naming the field, an empty line and the
// value up to the CRLF before the next "--B", closed by "--B--" and an
// optional CRLF. nullopt for any other body.
std::optional<form::Fields> plainMultipart(const std::string& body, const std::string& b) {
    const std::string delimiter = "--" + b;
    const std::string disposition = "Content-Disposition: form-data; name=\"";
    form::Fields fields;
    std::size_t at = 0;
    for (;;) {
        if (body.compare(at, delimiter.size(), delimiter) != 0) return std::nullopt;
        at += delimiter.size();
        const std::string rest = body.substr(at);
        if (rest == "--" || rest == "--\r\n") return fields;
        if (rest.compare(0, 2 + disposition.size(), "\r\n" + disposition) != 0) return std::nullopt;
        at += 2 + disposition.size();
        const std::size_t quote = body.find('"', at);
        if (quote == std::string::npos || body.compare(quote, 5, "\"\r\n\r\n") != 0)
            return std::nullopt;
        std::string name = body.substr(at, quote - at);
        if (name.find_first_of("\r\n") != std::string::npos) return std::nullopt;
        at = quote + 5;
        // cgicc takes "--B" for a delimiter wherever it stands, so values
        // that hold it (never sent by a browser) are not compared.
        const std::size_t end = body.find("\r\n" + delimiter, at);
        if (end == std::string::npos || body.find(delimiter, at) != end + 2) return std::nullopt;
        fields.emplace_back(name, body.substr(at, end - at));
        at = end + 2;
    }
}

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

void readLikeACommand(const char* name) {
    FUZZ_CHECK(cgiFormSubmitClicked(name) == cgiFormSuccess ||
               cgiFormSubmitClicked(name) == cgiFormNotFound);
    int choice = -7;
    cgiFormResultType r = cgiFormRadio(name, kChoiceWords, 3, &choice, 0);
    FUZZ_CHECK(r == cgiFormSuccess ? choice >= 0 && choice < 3 : choice == 0);
    r = cgiFormSelectSingle(name, kMenu, 4, &choice, 1);
    FUZZ_CHECK(r == cgiFormSuccess ? choice >= 0 && choice < 4 : choice == 1);

    for (std::size_t max : {kTextFieldSize, std::size_t{20}, std::size_t{1}}) {
        std::string value = "stale";
        r = cgiFormStringNoNewlines(name, value, max);
        switch (r) {
            case cgiFormSuccess:
                FUZZ_CHECK(!value.empty() && value.size() + 1 <= max);
                FUZZ_CHECK(value.find_first_of(std::string("\r\n\0", 3)) == std::string::npos);
                break;
            case cgiFormTruncated:
            case cgiFormEmpty:
            case cgiFormNotFound:
                FUZZ_CHECK(value.empty());
                break;
            default:
                FUZZ_CHECK(!"no such result");
        }
    }
    std::string value;
    if (readTextField(name, value)) FUZZ_CHECK(!value.empty() && value.size() < kTextFieldSize);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::enterRoot();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string rest = fuzzing::text(data, size);
    form::RawRequest request;
    request.method = fuzzing::takeLine(rest);
    request.contentType = fuzzing::takeLine(rest);
    std::string length = fuzzing::takeLine(rest);
    request.queryString = fuzzing::takeLine(rest);
    request.body = rest;
    if (length == "=")
        request.contentLength = std::to_string(rest.size());
    else if (length != "-")
        request.contentLength = length;

    fuzzing::startRequest();
    fuzzing::startOutput();
    std::variant<form::Fields, form::Unreadable> parsed = form::parse(request);
    const form::Fields* fields = std::get_if<form::Fields>(&parsed);
    if (!fields) return 0;

    // Without escapes, a query string or urlencoded body reads as split.
    const std::string method = lower(request.method);
    if (method == "get" && request.queryString.find('%') == std::string::npos)
        FUZZ_CHECK(*fields == plainUrlencoded(request.queryString));
    // (parse accepted the length, so it is plain digits or empty)
    if (method == "post" && request.contentType == "application/x-www-form-urlencoded" &&
        request.contentLength && !request.contentLength->empty()) {
        const std::string body = request.body.substr(0, std::stoul(*request.contentLength));
        if (body.find('%') == std::string::npos) FUZZ_CHECK(*fields == plainUrlencoded(body));
    }
    const std::string multipartType = "multipart/form-data; boundary=";
    if (method == "post" && request.contentType.rfind(multipartType, 0) == 0 &&
        request.contentLength == std::to_string(request.body.size())) {
        const std::string boundary = request.contentType.substr(multipartType.size());
        const bool plainBoundary =
            !boundary.empty() && boundary.find_first_of("\"; \t\r\n") == std::string::npos;
        if (plainBoundary) {
            if (auto expected = plainMultipart(request.body, boundary))
                FUZZ_CHECK(*fields == *expected);
        }
    }

    form::install(*fields);
    std::size_t tried = 0;
    for (const auto& field : *fields) {
        if (++tried > 16) break;
        // A name with a NUL byte cannot be asked for by a C string.
        if (field.first.find('\0') != std::string::npos) continue;
        readLikeACommand(field.first.c_str());
        FUZZ_CHECK(cgiFormSubmitClicked(field.first.c_str()) == cgiFormSuccess);
    }
    for (const char* name : kTextFields) readLikeACommand(name);
    return 0;
}
