// Form parsing as cgic gives it, checked on raw requests without a process.
#include <gtest/gtest.h>

#include "dispatch/cgic.h"

namespace {

using form::Fields;
using form::RawRequest;

RawRequest post(std::string type, std::string body) {
    RawRequest r;
    r.method = "POST";
    r.contentType = std::move(type);
    r.contentLength = std::to_string(body.size());
    r.body = std::move(body);
    return r;
}

RawRequest get(std::string query) {
    RawRequest r;
    r.method = "GET";
    r.queryString = std::move(query);
    return r;
}

const std::string kUrlencoded = "application/x-www-form-urlencoded";

std::string part(const std::string& b, const std::string& name, const std::string& value) {
    return "--" + b + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" +
           value + "\r\n";
}

struct ParseCase {
    const char* name;
    RawRequest request;
    std::variant<Fields, form::Unreadable> expected;
};

TEST(FormParse, GivesTheFieldsCgicWouldGiveOrWhyThereAreNone) {
    const std::string mp = part("B", "a", "1") + part("B", "b", "x\r\ny") + "--B--";
    RawRequest shortBody = post(kUrlencoded, "a=1");
    shortBody.contentLength = "10";
    RawRequest signedLength = post(kUrlencoded, "a=1");
    signedLength.contentLength = "+3";
    RawRequest hugeLength = post(kUrlencoded, "a=1");
    hugeLength.contentLength = "1048577";
    RawRequest noLength = post(kUrlencoded, "a=1");
    noLength.contentLength.reset();
    RawRequest emptyLength = post(kUrlencoded, "a=1");
    emptyLength.contentLength = "";
    RawRequest postWithQuery = post(kUrlencoded, "a=1");
    postWithQuery.queryString = "q=2";
    RawRequest head = get("a=1");
    head.method = "HEAD";

    const ParseCase cases[] = {
        {"query string", get("a=1&b=2"), Fields{{"a", "1"}, {"b", "2"}}},
        {"lower-case method", [] { auto r = get("a=1"); r.method = "get"; return r; }(),
         Fields{{"a", "1"}}},
        {"fields without = lead and trail", get("flag&a=1&last"),
         Fields{{"flag", ""}, {"a", "1"}, {"last", ""}}},
        {"empty segments skipped", get("a=1&&b=2&"), Fields{{"a", "1"}, {"b", "2"}}},
        {"percent and plus decoded", get("v=a+b%41%00z"),
         Fields{{"v", std::string("a bA\0z", 6)}}},
        {"repeated fields kept in order", get("a=1&a=2"), Fields{{"a", "1"}, {"a", "2"}}},
        {"semicolon is text, not a separator", get("a=1;b=2&v=x; y&n;m"),
         Fields{{"a", "1;b=2"}, {"v", "x; y"}, {"n;m", ""}}},
        {"urlencoded body", post(kUrlencoded, "a=1&flag"), Fields{{"a", "1"}, {"flag", ""}}},
        {"semicolon in an urlencoded body", post(kUrlencoded, "sub_text=one;two"),
         Fields{{"sub_text", "one;two"}}},
        {"urlencoded with charset", post(kUrlencoded + "; charset=UTF-8", "a=1"),
         Fields{{"a", "1"}}},
        {"query string ignored on post", postWithQuery, Fields{{"a", "1"}}},
        {"body beyond the length ignored",
         [] { auto r = post(kUrlencoded, "a=1&b=2"); r.contentLength = "3"; return r; }(),
         Fields{{"a", "1"}}},
        {"empty length reads no body", emptyLength, Fields{}},
        {"unknown body type gives no fields", post("text/plain", "a=1"), Fields{}},
        {"other methods give no fields", head, Fields{}},
        {"multipart", post("multipart/form-data; boundary=B", mp + "\r\n"),
         Fields{{"a", "1"}, {"b", "x\r\ny"}}},
        {"multipart close without line end", post("multipart/form-data; boundary=B", mp),
         Fields{{"a", "1"}, {"b", "x\r\ny"}}},
        {"multipart quoted boundary", post("multipart/form-data; boundary=\"B\"", mp),
         Fields{{"a", "1"}, {"b", "x\r\ny"}}},
        {"multipart boundary after another parameter",
         post("multipart/form-data; charset=utf-8; boundary=B", mp),
         Fields{{"a", "1"}, {"b", "x\r\ny"}}},
        {"absent length", noLength, form::Unreadable::NoLength},
        {"short body", shortBody, form::Unreadable::ShortBody},
        {"signed length", signedLength, form::Unreadable::BadLength},
        {"length over 1 MiB", hugeLength, form::Unreadable::TooLarge},
        {"multipart without boundary",
         post("multipart/form-data", mp), form::Unreadable::BadMultipart},
        {"multipart without closing boundary",
         post("multipart/form-data; boundary=B", part("B", "a", "1")),
         form::Unreadable::BadMultipart},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(form::parse(c.request), c.expected);
    }
}

struct ReadCase {
    const char* name;
    Fields fields;
    cgiFormResultType result;
    std::string value;
};

TEST(FormParse, TextFieldsFollowTheSharedConvention) {
    const ReadCase cases[] = {
        {"absent", {{"other", "1"}}, cgiFormNotFound, ""},
        {"empty", {{"v", ""}}, cgiFormEmpty, ""},
        {"only line ends", {{"v", "\r\n"}}, cgiFormEmpty, ""},
        {"1023 bytes", {{"v", std::string(1023, 'a')}}, cgiFormSuccess, std::string(1023, 'a')},
        {"1024 bytes", {{"v", std::string(1024, 'a')}}, cgiFormTruncated, ""},
        {"line ends removed before the limit",
         {{"v", std::string(1000, 'a') + "\r\n\r\n" + std::string(23, 'b') + "\n"}},
         cgiFormSuccess, std::string(1000, 'a') + std::string(23, 'b')},
        {"NUL byte refused", {{"v", std::string("ab\0c", 4)}}, cgiFormTruncated, ""},
        {"first occurrence wins", {{"v", "one"}, {"v", "two"}}, cgiFormSuccess, "one"},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        form::install(c.fields);
        std::string value = "junk";
        EXPECT_EQ(cgiFormStringNoNewlines("v", value, kTextFieldSize), c.result);
        EXPECT_EQ(value, c.value);
    }
}

TEST(FormParse, ChoicesAreComparedWhole) {
    const char* const words[] = {"male", "female", "amale"};
    struct Case {
        std::string value;
        int total;
        cgiFormResultType result;
        int index;
    } cases[] = {
        {"male", 2, cgiFormSuccess, 0},
        {"female", 2, cgiFormSuccess, 1},
        {"amale", 3, cgiFormSuccess, 2},
        {"amale", 2, cgiFormNoSuchChoice, 7},
        {"Female", 2, cgiFormNoSuchChoice, 7},
        {std::string("male\0x", 6), 2, cgiFormNoSuchChoice, 7},
        {"male ", 2, cgiFormNoSuchChoice, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        form::install({{"g", c.value}});
        int index = -1;
        EXPECT_EQ(cgiFormRadio("g", words, c.total, &index, 7), c.result);
        EXPECT_EQ(index, c.index);
    }
    form::install({});
    int index = -1;
    EXPECT_EQ(cgiFormSelectSingle("g", words, 3, &index, 0), cgiFormNotFound);
    EXPECT_EQ(index, 0);
}

}  // namespace
