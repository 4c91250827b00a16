// The form-reading calls every command uses, under the names and result
// codes of the cgic library, implemented over GNU cgicc.
#pragma once

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

enum cgiFormResultType {
    cgiFormSuccess,
    cgiFormTruncated,
    cgiFormEmpty,
    cgiFormNotFound,
    cgiFormNoSuchChoice,
};

// The reply stream; the same stream as stdout.
extern FILE* cgiOut;

// A text field is read into this many bytes, terminator included, so a
// value may hold one byte less.
constexpr std::size_t kTextFieldSize = 1024;

// Largest body we accept: cgicc allocates what CONTENT_LENGTH claims before
// reading a byte.
constexpr std::size_t kMaxContentLength = 1048576;

void cgiHeaderContentType(const char* mimeType);

// Success when the form carries a field of that name, whatever its value.
cgiFormResultType cgiFormSubmitClicked(const char* name);

// Index of the value among the choices, compared exactly. Absent field:
// cgiFormNotFound; a value that is no choice: cgiFormNoSuchChoice. Both
// leave defaultV in *result.
cgiFormResultType cgiFormRadio(const char* name, const char* const* choices, int choicesTotal,
                               int* result, int defaultV);
cgiFormResultType cgiFormSelectSingle(const char* name, const char* const* choices,
                                      int choicesTotal, int* result, int defaultV);

// The value with CR and LF removed. Longer than max - 1 bytes, or holding a
// NUL byte (which a C buffer would silently cut): cgiFormTruncated and an
// empty result. Empty after removal: cgiFormEmpty.
cgiFormResultType cgiFormStringNoNewlines(const char* name, std::string& result,
                                          std::size_t max);

namespace form {

using Fields = std::vector<std::pair<std::string, std::string>>;

// The CGI variables and body of one request, as the web server gave them.
struct RawRequest {
    std::string method;
    std::string queryString;
    std::string contentType;
    std::optional<std::string> contentLength;
    std::string body;  // at most what CONTENT_LENGTH announced
};

// Why a request cannot be read. Each is answered with its own HTTP status
// and one line of text, and nothing is done.
enum class Unreadable {
    NoLength,      // a POST without CONTENT_LENGTH (a chunked body): 411
    TooLarge,      // CONTENT_LENGTH over kMaxContentLength: 413
    BadLength,     // CONTENT_LENGTH that is not plain digits: 400
    ShortBody,     // fewer bytes than CONTENT_LENGTH announced: 400
    BadMultipart,  // no boundary, no closing boundary, or cgicc refused it: 400
};

// Fields in posting order, or why there are none to be had.
std::variant<Fields, Unreadable> parse(const RawRequest& request);

// Writes the whole reply of an unreadable request: a CGI Status line, the
// text/plain header and the one line.
void refuse(Unreadable why);

// Writes a whole reply that is not a report: a CGI Status line, any
// further header lines (each ending in CRLF), the text/plain header and
// the one line.
void answer(const char* status, const std::string& extraHeaders, const char* line);

// Makes these the fields the cgiForm calls read.
void install(Fields fields);

// The request's method as run() read it, in lower case ("get", "post").
const std::string& method();
void setMethod(std::string method);

// Reads the CGI environment and standard input, parses the form and calls
// cgiMain with cgiOut set; returns its result, or 1 without calling it
// when the request cannot be read (answered by refuse()) or is a POST
// another site's page made (403, before a byte of its body is read).
int run(int (*cgiMain)());

}  // namespace form
