// cgic-style form access over GNU cgicc. cgicc 3.2.19 has habits that the
// cgic library the forms were written for does not share; parse()
// normalises the request before cgicc sees it so that the fields come out
// as cgic would give them.
#include "dispatch/cgic.h"

#include <cgicc/CgiInput.h>
#include <cgicc/Cgicc.h>

#include <cstdlib>
#include <cstring>
#include <exception>

#include "platform/platform.h"

namespace form {
namespace {

std::string trim(const std::string& s) {
    std::size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return "";
    std::size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

// Feeds cgicc exactly the variables and body we decided on, so it never
// reads the real environment or standard input itself.
class PreparedInput : public cgicc::CgiInput {
public:
    PreparedInput(std::string method, std::string query, std::string type, std::string body)
        : method_(std::move(method)), query_(std::move(query)), type_(std::move(type)),
          body_(std::move(body)) {}

    size_t read(char* data, size_t length) override {
        std::size_t n = std::min(length, body_.size() - pos_);
        std::memcpy(data, body_.data() + pos_, n);
        pos_ += n;
        return n;
    }

    std::string getenv(const char* name) override {
        if (std::strcmp(name, "REQUEST_METHOD") == 0) return method_;
        if (std::strcmp(name, "QUERY_STRING") == 0) return query_;
        if (std::strcmp(name, "CONTENT_TYPE") == 0) return type_;
        if (std::strcmp(name, "CONTENT_LENGTH") == 0) return std::to_string(body_.size());
        return "";
    }

private:
    std::string method_, query_, type_, body_;
    std::size_t pos_ = 0;
};

// cgicc drops a trailing "name" without "=" but keeps a leading one; cgic
// treats both as present with an empty value. cgicc also ends a field at
// ";", which cgic keeps as part of the text: it is passed escaped.
std::string normaliseUrlencoded(const std::string& data) {
    std::string out;
    std::size_t start = 0;
    while (start <= data.size()) {
        std::size_t amp = data.find('&', start);
        if (amp == std::string::npos) amp = data.size();
        std::string segment = data.substr(start, amp - start);
        if (!segment.empty()) {
            if (!out.empty()) out += '&';
            for (char c : segment) {
                if (c == ';')
                    out += "%3B";
                else
                    out += c;
            }
            if (segment.find('=') == std::string::npos) out += '=';
        }
        start = amp + 1;
    }
    return out;
}

// The boundary parameter of a multipart content type, quotes removed.
std::optional<std::string> boundaryOf(const std::string& contentType) {
    std::size_t pos = contentType.find(';');
    while (pos != std::string::npos) {
        std::size_t next = contentType.find(';', pos + 1);
        std::string param = trim(contentType.substr(
            pos + 1, next == std::string::npos ? std::string::npos : next - pos - 1));
        std::size_t eq = param.find('=');
        if (eq != std::string::npos && platform::asciiLower(trim(param.substr(0, eq))) == "boundary") {
            std::string value = trim(param.substr(eq + 1));
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                value = value.substr(1, value.size() - 2);
            if (value.empty()) return std::nullopt;
            return value;
        }
        pos = next;
    }
    return std::nullopt;
}

Fields fieldsOf(const cgicc::Cgicc& cgi) {
    Fields fields;
    for (const cgicc::FormEntry& e : cgi.getElements())
        fields.emplace_back(e.getName(), e.getValue());
    return fields;
}

std::variant<std::size_t, Unreadable> contentLengthOf(const std::optional<std::string>& text) {
    std::variant<std::size_t, platform::BodyProblem> length = platform::contentLength(text, kMaxContentLength);
    if (const std::size_t* n = std::get_if<std::size_t>(&length)) return *n;
    switch (std::get<platform::BodyProblem>(length)) {
        case platform::BodyProblem::NoLength:
            return Unreadable::NoLength;
        case platform::BodyProblem::TooLarge:
            return Unreadable::TooLarge;
        default:
            return Unreadable::BadLength;
    }
}

struct Refusal {
    const char* status;
    std::string line;
};

Refusal refusalOf(Unreadable why) {
    switch (why) {
        case Unreadable::NoLength:
            return {"411 Length Required",
                    "the request needs a Content-Length (a chunked body is not read); nothing was done"};
        case Unreadable::TooLarge:
            return {"413 Content Too Large", "the body is larger than " +
                                                 std::to_string(kMaxContentLength) +
                                                 " bytes; nothing was done"};
        case Unreadable::BadLength:
            return {"400 Bad Request", "the Content-Length is not a number; nothing was done"};
        case Unreadable::ShortBody:
            return {"400 Bad Request",
                    "the body is shorter than its Content-Length; nothing was done"};
        case Unreadable::BadMultipart:
            return {"400 Bad Request",
                    "the multipart form cannot be read (no boundary or no closing boundary); "
                    "nothing was done"};
    }
    return {"400 Bad Request", "the request cannot be read; nothing was done"};
}

std::string envOr(const char* name) { return platform::environment(name); }

}  // namespace

std::variant<Fields, Unreadable> parse(const RawRequest& request) {
    std::string method = platform::asciiLower(request.method);
    std::string query, type, body;
    if (method == "get") {
        query = normaliseUrlencoded(request.queryString);
    } else if (method == "post") {
        std::variant<std::size_t, Unreadable> length = contentLengthOf(request.contentLength);
        if (const Unreadable* why = std::get_if<Unreadable>(&length)) return *why;
        const std::size_t announced = std::get<std::size_t>(length);
        if (request.body.size() < announced) return Unreadable::ShortBody;
        body = request.body.substr(0, announced);
        std::string media = platform::asciiLower(trim(request.contentType.substr(0, request.contentType.find(';'))));
        if (media == "application/x-www-form-urlencoded") {
            type = "application/x-www-form-urlencoded";
            body = normaliseUrlencoded(body);
        } else if (media == "multipart/form-data") {
            std::optional<std::string> boundary = boundaryOf(request.contentType);
            if (!boundary) return Unreadable::BadMultipart;
            std::string closing = "--" + *boundary + "--";
            std::size_t at = body.rfind(closing);
            if (at == std::string::npos) return Unreadable::BadMultipart;
            // cgicc loses the last part unless a line end follows the close.
            if (at + closing.size() == body.size()) body += "\r\n";
            type = "multipart/form-data; boundary=" + *boundary;
        } else {
            return Fields{};  // a body we do not read: no fields, as cgic does
        }
    } else {
        return Fields{};
    }
    try {
        PreparedInput input(method == "get" ? "GET" : "POST", query, type, body);
        cgicc::Cgicc cgi(&input);
        return fieldsOf(cgi);
    } catch (...) {
        return Unreadable::BadMultipart;  // what cgicc refuses is a form it cannot split
    }
}

void refuse(Unreadable why) {
    const Refusal r = refusalOf(why);
    answer(r.status, "", r.line.c_str());
}


int run(int (*cgiMain)()) {
    RawRequest request;
    request.method = envOr("REQUEST_METHOD");
    setMethod(platform::asciiLower(request.method));
    if (method() == "post" && platform::fromAnotherSite(platform::requestSource())) {
        answer("403 Forbidden", "", platform::kAnotherSiteRefusal);
        return 1;
    }
    request.queryString = envOr("QUERY_STRING");
    request.contentType = envOr("CONTENT_TYPE");
    if (const char* cl = std::getenv("CONTENT_LENGTH")) request.contentLength = cl;

    if (platform::asciiLower(request.method) == "post") {
        // Nothing is read of a body whose length is refused anyway.
        std::variant<std::size_t, Unreadable> length = contentLengthOf(request.contentLength);
        if (const std::size_t* n = std::get_if<std::size_t>(&length)) {
            request.body.resize(*n);
            std::size_t got = 0;
            while (got < *n) {
                std::size_t r = std::fread(&request.body[got], 1, *n - got, stdin);
                if (r == 0) break;
                got += r;
            }
            request.body.resize(got);
        }
    }

    std::variant<Fields, Unreadable> parsed = parse(request);
    if (const Unreadable* why = std::get_if<Unreadable>(&parsed)) {
        refuse(*why);
        return 1;
    }
    install(std::move(std::get<Fields>(parsed)));
    cgiOut = stdout;
    return cgiMain();
}

}  // namespace form
