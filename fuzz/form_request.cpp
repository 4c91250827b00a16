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
    std::optional<form::Fields> fields = form::parse(request);
    if (!fields) return 0;
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
