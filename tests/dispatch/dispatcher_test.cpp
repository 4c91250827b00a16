// The dispatcher and the form conventions, through the real program.
#include <gtest/gtest.h>

#include "support/sandbox.h"

namespace {

using sandbox::Fields;
using sandbox::kHeader;
using sandbox::Reply;
using sandbox::Request;
using sandbox::Sandbox;

std::string header() { return kHeader; }

TEST(Dispatcher, RequestWithoutKnownFieldsGetsTheHeaderAlone) {
    Sandbox box;
    Request multipartNoFields;
    multipartNoFields.method = "POST";
    multipartNoFields.contentType = "multipart/form-data; boundary=b";
    multipartNoFields.body = "--b--\r\n";
    const Reply replies[] = {
        box.get(""),
        box.post("unknown=1&codec_submit"),  // codec form without any of its groups
        box.post({{"x", "y"}}),
        box.run(multipartNoFields),
    };
    for (const Reply& r : replies) {
        EXPECT_EQ(r.out, header());
        EXPECT_EQ(r.exitCode, 0);
    }
    EXPECT_TRUE(box.calls().empty());
}

// A web server turns "no reply" into an error page or an empty response;
// the client is told instead what was wrong with its request.
TEST(Dispatcher, UnreadableRequestsGetTheirStatusAndOneLineAndChangeNothing) {
    Sandbox box;
    box.write("/mnt/ttl.ini", "64");
    const std::string form = "ttl_submit=&ttl=5";
    auto withLength = [](std::optional<std::string> length, std::string body) {
        Request r;
        r.method = "POST";
        r.contentType = "application/x-www-form-urlencoded";
        r.contentLength = length;
        r.omitContentLength = !length;
        r.body = std::move(body);
        return r;
    };
    Request badMultipart;
    badMultipart.method = "POST";
    badMultipart.contentType = "multipart/form-data; boundary=b";
    badMultipart.body = "--b\r\nContent-Disposition: form-data; name=\"ttl_submit\"\r\n\r\n1";
    Request noBoundary = badMultipart;
    noBoundary.contentType = "multipart/form-data";
    const std::string badRequest = "Status: 400 Bad Request\r\n" + header();
    const std::string badLength = badRequest + "the Content-Length is not a number; nothing was done\n";
    const std::string tooLarge = "Status: 413 Content Too Large\r\n" + header() +
                                 "the body is larger than 1048576 bytes; nothing was done\n";
    const std::string unreadableMultipart =
        badRequest +
        "the multipart form cannot be read (no boundary or no closing boundary); nothing was done\n";
    const struct {
        const char* name;
        Request request;
        std::string reply;
    } cases[] = {
        // Servers that take a chunked body pass the framing and no length.
        {"no length, chunked framing", withLength(std::nullopt, "11\r\n" + form + "\r\n0\r\n\r\n"),
         "Status: 411 Length Required\r\n" + header() +
             "the request needs a Content-Length (a chunked body is not read); nothing was done\n"},
        {"no length, no body", withLength(std::nullopt, ""),
         "Status: 411 Length Required\r\n" + header() +
             "the request needs a Content-Length (a chunked body is not read); nothing was done\n"},
        {"body shorter than announced", withLength("40", form),
         badRequest + "the body is shorter than its Content-Length; nothing was done\n"},
        {"length with a sign", withLength("+17", form), badLength},
        {"length with white space", withLength(" 17", form), badLength},
        {"length over 1 MiB", withLength("1048577", form), tooLarge},
        {"length that overflows", withLength("99999999999999999999999", form), tooLarge},
        {"multipart without its closing boundary", badMultipart, unreadableMultipart},
        {"multipart without a boundary", noBoundary, unreadableMultipart},
        // An empty or zero length reads no body, as always: no fields.
        {"empty length", withLength("", form), header()},
        {"zero length", withLength("0", form), header()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Reply r = box.run(c.request);
        EXPECT_EQ(r.out, c.reply);
        EXPECT_EQ(box.read("/mnt/ttl.ini"), "64");
    }
    EXPECT_TRUE(box.calls().empty());
}

// The subtitle as the file stores it: each ASCII byte widened.
std::string storedSubtitle(const std::string& text) {
    std::string line = "0 0 0 ";
    for (char c : text) line += {'\xA3', static_cast<char>(c + 0x80)};
    return line;
}

TEST(Dispatcher, TheThreePostingEncodingsReachTheCommands) {
    Sandbox box;
    box.write("/mnt/zk.ini", "0 0 0 ");
    Request quoted;
    quoted.method = "POST";
    quoted.contentType = "multipart/form-data; boundary=\"q b\"";
    quoted.body = sandbox::multipart({{"sub_submit", ""}, {"sub_text", "q"}}, "q b");
    Request unterminated;
    unterminated.method = "POST";
    unterminated.contentType = "multipart/form-data; boundary=u";
    unterminated.body = sandbox::multipart({{"sub_submit", ""}, {"sub_text", "u"}}, "u");
    unterminated.body.resize(unterminated.body.size() - 2);  // no line end after the close
    Request postWithQuery;
    postWithQuery.method = "POST";
    postWithQuery.contentType = "application/x-www-form-urlencoded";
    postWithQuery.queryString = "sub_text=fromquery";
    postWithQuery.body = "sub_submit=";

    struct Case {
        const char* name;
        Reply reply;
        const char* body;
        const char* stored;
    } cases[] = {
        {"urlencoded POST as a client writes it", box.post("sub_submit=go&sub_text=64"),
         "set sub:64\nset ok\n", "64"},
        {"urlencoded POST", box.post({{"sub_text", "a b+c"}, {"sub_submit", ""}}),
         "set sub:a b+c\nset ok\n", "a b+c"},
        {"multipart POST", box.postMultipart({{"sub_submit", "Set"}, {"sub_text", "m\r\n1"}}),
         "set sub:m1\nset ok\n", "m1"},
        {"multipart with a quoted boundary", box.run(quoted), "set sub:q\nset ok\n", "q"},
        {"multipart closed without a line end", box.run(unterminated), "set sub:u\nset ok\n", "u"},
        {"trailing submit field without =", box.post("sub_text=t&sub_submit"), "set sub:t\nset ok\n",
         "t"},
        {"query string of a POST is not read", box.run(postWithQuery), "", "t"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.reply.out, header() + c.body);
    }
    // The cases ran in order; the last store wins and the POST with a query
    // string stored nothing.
    EXPECT_EQ(box.read("/mnt/zk.ini"), storedSubtitle("t"));
}

TEST(Dispatcher, TextFieldsAreAcceptedOrRefusedByTheSharedConvention) {
    // The address takes any length to its own check, so it shows what the
    // convention lets through; the TTL shows what it stores.
    const std::string macRefused =
        "\nmac's length is illegal\nset failed, please check your typed mac address and try again!\n";
    struct Case {
        const char* name;
        Fields fields;
        std::string body;
        std::optional<std::string> stored;
    } cases[] = {
        {"1023 characters accepted", {{"mac_submit", ""}, {"mac", std::string(1023, '7')}},
         "set mac=" + std::string(1023, '7') + macRefused, std::nullopt},
        {"1024 characters refused", {{"mac_submit", ""}, {"mac", std::string(1024, '7')}},
         "error len", std::nullopt},
        {"CR and LF removed before the limit",
         {{"mac_submit", ""}, {"mac", std::string(1023, '8') + "\r\n"}},
         "set mac=" + std::string(1023, '8') + macRefused, std::nullopt},
        {"empty value", {{"ttl_submit", ""}, {"ttl", ""}}, "input empty", std::nullopt},
        {"absent field", {{"ttl_submit", ""}}, "", std::nullopt},
        {"NUL byte refused", {{"ttl_submit", ""}, {"ttl", std::string("6\0" "4", 3)}},
         "error len", std::nullopt},
        {"first occurrence wins", {{"ttl_submit", ""}, {"ttl", "1"}, {"ttl", "2"}},
         "set ttl:1\n", "1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox box;
        EXPECT_EQ(box.post(c.fields).out, header() + c.body);
        EXPECT_EQ(box.read("/mnt/ttl.ini"), c.stored);
        EXPECT_FALSE(box.exists("/mnt/mac.sh"));
    }
}

TEST(Dispatcher, MessagesWithoutLineEndRunIntoTheNextCommand) {
    Sandbox box;
    Reply r = box.post({{"ttl_submit", ""}, {"ttl", ""}, {"nameidr_submit", ""}, {"idr", "30"}});
    EXPECT_EQ(r.out, header() + "input emptyset idr frame num:30\n");
    EXPECT_EQ(box.read("/mnt/idr.ini"), "30");
}

TEST(Dispatcher, AnUnwritableSettingsFileEndsTheRequest) {
    Sandbox box;
    box.makeDirectory("/mnt/ttl.ini");
    box.write("/mnt/format.ini", "1 9");
    Reply r = box.post({{"ttl_submit", ""},
                        {"ttl", "64"},
                        {"nameidr_submit", ""},
                        {"idr", "5"},
                        {"name129_submit", ""}});
    EXPECT_EQ(r.out, header() + "set ttl:64\nCan't open file\n");
    EXPECT_FALSE(box.exists("/mnt/idr.ini"));
    EXPECT_FALSE(box.exists("/mnt/mk120.ini"));
}

}  // namespace

// A link or an image on any page sends a GET with the operator's login, and
// a page of another site can post; neither may change anything, in either
// program, whatever web server runs them.
TEST(Dispatcher, ChangesComeOnlyAsPostsFromTheDevicesOwnPages) {
    Sandbox box;
    box.write("/mnt/ttl.ini", "64");
    const std::string refusedGet = "Status: 405 Method Not Allowed\r\nAllow: POST\r\n" + header() +
                                   "only a POST may change settings; nothing was done\n";
    const std::string forbidden =
        "Status: 403 Forbidden\r\n" + header() + "the request comes from another site; nothing was done\n";
    const std::string changed = header() + "set ttl:7\n";
    const auto get = [](const char* query) {
        Request r;
        r.queryString = query;
        r.omitContentLength = true;
        return r;
    };
    // A post of ttl=7 from a client that says these of itself.
    const auto from = [](std::vector<std::string> variables, bool state = false) {
        Request r;
        r.method = "POST";
        r.contentType = "application/x-www-form-urlencoded";
        r.body = "ttl_submit=&ttl=7";
        r.stateProgram = state;
        r.variables = std::move(variables);
        return r;
    };
    const std::string device = "HTTP_HOST=device.lan";
    struct Case {
        const char* name;
        Request request;
        std::string reply;  // empty: any reply that is no refusal
        const char* ttl;
    } cases[] = {
        {"GET of a change", get("ttl_submit=&ttl=7"), refusedGet, "64"},
        {"GET of the reboot", get("name5_submit="), refusedGet, "64"},
        {"GET of a report and a change", get("name44_submit=&ttl_submit=&ttl=7"), refusedGet, "64"},
        {"GET of the status report", get("name44_submit="), "", "64"},
        {"GET of the window report", get("mg_gx="), "", "64"},
        {"GET of the subtitle report", get("sub_v="), "", "64"},
        {"another site's origin", from({device, "HTTPS=on", "HTTP_ORIGIN=https://attacker.example"}),
         forbidden, "64"},
        {"another port of the device", from({device, "HTTPS=on", "HTTP_ORIGIN=https://device.lan:8443"}),
         forbidden, "64"},
        {"plain HTTP origin on HTTPS", from({device, "HTTPS=on", "HTTP_ORIGIN=http://device.lan"}),
         forbidden, "64"},
        {"opaque origin", from({device, "HTTP_ORIGIN=null"}), forbidden, "64"},
        {"opaque origin marked same-site", from({device, "HTTP_ORIGIN=null", "HTTP_SEC_FETCH_SITE=same-site"}),
         forbidden, "64"},
        {"own page's form under no-referrer",
         from({device, "HTTP_ORIGIN=null", "HTTP_SEC_FETCH_SITE=same-origin"}), changed, "7"},
        {"origin without a Host", from({"HTTP_ORIGIN=http://device.lan"}), forbidden, "64"},
        {"marked same-site", from({device, "HTTP_SEC_FETCH_SITE=same-site"}), forbidden, "64"},
        {"marked cross-site", from({device, "HTTP_SEC_FETCH_SITE=cross-site"}), forbidden, "64"},
        {"own origin, written otherwise",
         from({"HTTP_HOST=Device.LAN", "HTTPS=on", "HTTP_ORIGIN=https://device.lan:443",
               "HTTP_SEC_FETCH_SITE=same-origin"}),
         changed, "7"},
        {"own origin on another port", from({"HTTP_HOST=[fd00::1]:8080", "HTTP_ORIGIN=http://[FD00::1]:8080"}),
         changed, "7"},
        {"typed by the operator", from({device, "HTTP_SEC_FETCH_SITE=none"}), changed, "7"},
        {"a client that says nothing", from({}), changed, "7"},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        box.write("/mnt/ttl.ini", "64");
        const Reply reply = box.run(c.request);
        if (c.reply.empty())
            EXPECT_EQ(reply.out.compare(0, header().size(), header()), 0) << reply.out;
        else
            EXPECT_EQ(reply.out, c.reply);
        EXPECT_EQ(box.read("/mnt/ttl.ini"), c.ttl);
    }
    EXPECT_EQ(box.count("reboot"), 0);
    // The state program refuses such a post before anything else.
    EXPECT_EQ(box.run(from({device, "HTTP_SEC_FETCH_SITE=same-site"}, true)).out,
              "Status: 403 Forbidden\r\nContent-Type: application/json; charset=utf-8\r\n"
              "Cache-Control: no-store\r\n\r\n"
              "{\"error\":\"the request comes from another site; nothing was done\"}\n");
}
