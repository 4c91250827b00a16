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

#include "platform/fields.h"

// Largest body we accept: cgicc allocates what CONTENT_LENGTH claims before
// reading a byte.
constexpr std::size_t kMaxContentLength = 1048576;

namespace form {

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

// Reads the CGI environment and standard input, parses the form and calls
// cgiMain with cgiOut set; returns its result, or 1 without calling it
// when the request cannot be read (answered by refuse()) or is a POST
// another site's page made (403, before a byte of its body is read).
int run(int (*cgiMain)());

}  // namespace form
