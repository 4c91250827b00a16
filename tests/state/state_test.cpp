// The state program, through the real executables: what a change made
// through the settings program's forms reads back as, how hand-written
// files read, and how requests it does not serve are answered.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <nlohmann/json.hpp>

#include "state/state_support.h"

namespace {

using nlohmann::json;
using sandbox::Fields;
using sandbox::Sandbox;
using statetest::documentOf;
using statetest::etagOf;
using statetest::kJsonHeaders;
using statetest::layOut;

// A new value for every setting a form can change, unlike the laid-out one.
const std::map<std::string, json> kNewValues = {
    {"network.ip", "10.1.2.3"}, {"network.netmask", "255.255.0.0"},
    {"network.gateway", "10.1.0.1"}, {"network.mac", "02:aa:bb:cc:dd:ee"},
    {"wifi.enabled", false}, {"wifi.ssid", "lab net"}, {"wifi.passphrase", "new phrase 9"},
    {"wifi.address", "10.9.9.9"},
    {"outputs.transport_stream", "off"}, {"outputs.stream_tag", false},
    {"outputs.rtsp_rtmp", "rtsp"}, {"outputs.ts_address", "239.1.1.1"}, {"outputs.ts_port", 5004},
    {"outputs.rtmp_url", "rtmp://10.0.0.5/live"}, {"outputs.rtmp_key", "cam-2"},
    {"encoder.bitrate", 3000000}, {"encoder.framerate", 30}, {"encoder.iframe_interval", 50},
    {"encoder.idr_interval", 25}, {"encoder.profile", "baseline"}, {"encoder.mode", "speed"},
    {"encoder.level", 31}, {"encoder.max_delay", 12}, {"encoder.ttl", 32},
    {"encoder.scaling", false}, {"encoder.width", 1280}, {"encoder.height", 720},
    {"capture.mode", "detect"}, {"capture.format", 23}, {"capture.input", "bnc"},
    {"capture.autodetect", "reboot"},
    {"audio.enabled", false}, {"audio.input", "analog"}, {"audio.sample_rate", 48000},
    {"audio.bitrate", 128000}, {"audio.volume", 55},
    {"picture.lr", 11}, {"picture.lg", 12}, {"picture.lb", 13}, {"picture.br", 14},
    {"picture.bg", 15}, {"picture.bb", 16},
    {"overlays.mg.enabled", false}, {"overlays.mg.x", 64}, {"overlays.mg.y", 48},
    {"overlays.mg.width", 640}, {"overlays.mg.height", 360},
    {"overlays.gx.enabled", true}, {"overlays.gx.x", 1200}, {"overlays.gx.y", 40},
    {"overlays.gx.width", 160}, {"overlays.gx.height", 90},
    {"subtitle.enabled", false}, {"subtitle.font", "small"}, {"subtitle.x", 40},
    {"subtitle.y", 50}, {"subtitle.text", "字幕 live 2"},
};

// Every setting of the schema as a dotted path with its property.
void collect(const json& object, const std::string& prefix, std::map<std::string, json>& out) {
    for (const auto& [name, property] : object["properties"].items()) {
        if (property.contains("properties"))
            collect(property, prefix + name + ".", out);
        else
            out[prefix + name] = property;
    }
}

// The post that sets value through the setting's form. A part of a field
// goes joined with the other part as the device holds it (in holds, a
// document with the secrets).
Fields formPost(const json& form, const json& value, const json& holds) {
    Fields fields = {{form["submit"], ""}};
    std::string key = value.is_string() ? value.get<std::string>() : value.dump();
    if (form.contains("part")) {
        const json& outputs = holds["settings"]["outputs"];
        const bool address = form["part"] == "address";
        const std::string other = outputs[address ? "rtmp_key" : "rtmp_url"];
        const std::string& stream = address ? other : key;
        key = (address ? key : other) + (stream.empty() ? "" : stream[0] == '?' ? stream : "/" + stream);
    }
    if (form.contains("choices")) {
        fields.push_back({form.contains("radio") ? form["radio"] : form["menu"], form["choices"][key]});
    } else if (form.contains("menu")) {
        fields.push_back({form["menu"], key});
    } else {
        fields.push_back({form["field"], key});
    }
    return fields;
}

json at(const json& document, const std::string& dotted) {
    std::string path = "/settings/" + dotted;
    for (char& c : path)
        if (c == '.') c = '/';
    return document.at(json::json_pointer(path));
}

// What Debian's python3-jsonschema says of each instance against the schema
// (after checking the schema itself): one line of errors per instance,
// empty when it is valid. The byte bounds the schema states beside the
// character counts (x-minBytes, x-maxBytes: UTF-8 bytes) are checked too.
std::vector<std::string> schemaErrors(const json& schema, const std::vector<json>& instances) {
    const std::string dir = std::filesystem::temp_directory_path() /
                            ("webcfg-schema-check-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "/schema.json") << schema.dump();
    std::ofstream(dir + "/instances.json") << json(instances).dump();
    const std::string command =
        "python3 -c 'import json,sys,jsonschema\n"
        "from jsonschema import ValidationError as E\n"
        "def most(v,n,i,s):\n"
        "  if isinstance(i,str) and len(i.encode())>n: yield E(\"more than %d bytes\"%n)\n"
        "def least(v,n,i,s):\n"
        "  if isinstance(i,str) and len(i.encode())<n: yield E(\"fewer than %d bytes\"%n)\n"
        "V=jsonschema.validators.extend(jsonschema.Draft202012Validator,{\"x-maxBytes\":most,\"x-minBytes\":least})\n"
        "s=json.load(open(sys.argv[1]+\"/schema.json\"))\n"
        "jsonschema.Draft202012Validator.check_schema(s)\n"
        "v=V(s)\n"
        "for d in json.load(open(sys.argv[1]+\"/instances.json\")):\n"
        "  print(\"; \".join(\"%s %s\"%(list(e.path),e.message[:80]) for e in v.iter_errors(d)))\n' " +
        dir + " 2>&1";
    std::string said;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[512];
        while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) said.append(buf, n);
        if (::pclose(p) != 0) said += "(validator failed)";
    }
    std::filesystem::remove_all(dir);
    std::vector<std::string> errors;
    for (std::size_t begin = 0, end; (end = said.find('\n', begin)) != std::string::npos; begin = end + 1)
        errors.push_back(said.substr(begin, end - begin));
    if (errors.size() != instances.size()) errors.assign(instances.size(), "validator said: " + said);
    return errors;
}

// Every document's settings against the schema; what the validator said.
std::string validate(const json& schema, const std::vector<json>& documents) {
    std::vector<json> settings;
    for (const json& d : documents) settings.push_back(d["settings"]);
    std::string said;
    for (const std::string& errors : schemaErrors(schema, settings)) said += errors;
    return said;
}

TEST(StateDocument, EverySettingChangedThroughItsFormReadsBackInTheNextDocument) {
    Sandbox schemaBox;
    const json schema = documentOf(schemaBox.state("schema=1"));
    std::map<std::string, json> settings;
    collect(schema, "", settings);
    std::vector<json> documents;
    for (const auto& [name, property] : settings) {
        SCOPED_TRACE(name);
        if (!property.contains("x-form")) {
            EXPECT_TRUE(property.value("readOnly", false));
            continue;
        }
        auto wanted = kNewValues.find(name);
        ASSERT_NE(wanted, kNewValues.end()) << "no test value for a settable setting";
        Sandbox box;
        layOut(box);
        const json before = documentOf(box.state("secrets=1"));
        EXPECT_NE(at(before, name), wanted->second);
        const sandbox::Reply reply = box.post(formPost(property["x-form"], wanted->second, before));
        const json after = documentOf(box.state("secrets=1"));
        EXPECT_EQ(at(after, name), wanted->second) << sandbox::bodyOf(reply).value_or("");
        EXPECT_EQ(after["unreadable"], json::array());
        documents.push_back(documentOf(box.state("secrets=1")));
    }
    EXPECT_EQ(kNewValues.size(), settings.size() - 2);  // all but passphrase_set and rtmp_key_set
    EXPECT_EQ(validate(schema, documents), "");
}

std::string withUrl(const std::string& url) {
    std::string script = sandbox::bootScript();
    const std::string laid = "url=rtmp://192.168.18.7/live/kovra\n";
    return script.replace(script.find(laid), laid.size(), "url=" + url + "\n");
}

TEST(StateDocument, HandWrittenFilesReadAsTheCommandsReportThem) {
    const std::string raw = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
    const struct {
        const char* name;
        std::map<std::string, std::optional<std::string>> files;  // nullopt: removed
        std::map<std::string, json> expected;                     // JSON pointer -> value
        json unreadable;
    } cases[] = {
        {"a raw Wi-Fi key",
         {{"/mnt/wifi/wpa.conf", "network={\n\tssid=\"lab\"\n\tscan_ssid=1\n\tpsk=" + raw + "\n}\n"}},
         {{"/settings/wifi/ssid", "lab"}, {"/settings/wifi/passphrase", raw},
          {"/settings/wifi/passphrase_set", true}},
         json::array()},
        {"a stream key in a query",
         {{"/mnt/autorun.sh", withUrl("rtmp://10.0.0.5:1935/app?t0k")}},
         {{"/settings/outputs/rtmp_url", "rtmp://10.0.0.5:1935/app"},
          {"/settings/outputs/rtmp_key", "?t0k"}, {"/settings/outputs/rtmp_key_set", true}},
         json::array()},
        {"an address without a stream key", {{"/mnt/autorun.sh", withUrl("rtmp://10.0.0.5/live")}},
         {{"/settings/outputs/rtmp_url", "rtmp://10.0.0.5/live"}, {"/settings/outputs/rtmp_key", ""},
          {"/settings/outputs/rtmp_key_set", false}},
         json::array()},
        {"a window file with doubled spaces", {{"/mnt/m.ini", " 1  10 20 300 200 0 5  6 7 8\n"}},
         {{"/settings/overlays/mg/x", 10}, {"/settings/overlays/gx/x", 5},
          {"/settings/overlays/gx/height", 8}},
         json::array()},
        {"no subtitle file", {{"/mnt/zk.ini", std::nullopt}},
         {{"/settings/subtitle/text", nullptr}, {"/settings/subtitle/enabled", nullptr}},
         json::array()},
        {"no files of the codec form",
         {{"/mnt/ts.ini", std::nullopt}, {"/mnt/rtsp.ini", std::nullopt},
          {"/mnt/format.ini", std::nullopt}, {"/mnt/kovra_encLevel.ini", std::nullopt}},
         {{"/settings/outputs/transport_stream", "http"}, {"/settings/outputs/rtsp_rtmp", "off"},
          {"/settings/capture/mode", "detect"}, {"/settings/capture/format", 9},
          {"/settings/encoder/level", nullptr}},
         json::array()},
        {"unparsable files",
         {{"/mnt/format.ini", "ab"}, {"/mnt/m.ini", std::string(120, '1')}, {"/mnt/ha.ini", ""},
          {"/tmp/format.ini", "wide"}},
         {{"/settings/capture/mode", nullptr}, {"/settings/overlays/mg/x", nullptr},
          {"/settings/audio/input", nullptr}, {"/device/detected_format", nullptr}},
         json::array({"/mnt/format.ini", "/mnt/ha.ini", "/mnt/m.ini", "/tmp/format.ini"})},
        // What the settings program could not write back is no value.
        {"header lines that cannot be read back",
         {{"/mnt/autorun.sh", "ip=192.168.1.60   # studio LAN\nframerate=\"30\"\nctrlcodec=0\n" +
                                  sandbox::bootScript().substr(sandbox::bootScript().find("bitrate"))}},
         {{"/settings/network/ip", nullptr}, {"/settings/encoder/framerate", nullptr},
          {"/settings/encoder/scaling", nullptr}, {"/settings/network/netmask", "255.255.255.0"}},
         json::array({"/mnt/autorun.sh"})},
        {"values the device refuses",
         {{"/mnt/mac.sh", "ifconfig eth0 hw ether 01:00:5e:00:00:01\n"},
          {"/mnt/wifi/wpa.conf", "network={\nssid=\"lab\"\npsk=\"" + std::string(63, 'p') + "\" \n}\n"},
          {"/mnt/zk.ini", "1 0 20000 \xA3\x89"}, {"/mnt/color.ini", "128 0 0 0 0 10000"}},
         {{"/settings/network/mac", nullptr}, {"/settings/wifi/ssid", "lab"},
          {"/settings/wifi/passphrase", nullptr}, {"/settings/wifi/passphrase_set", true},
          {"/settings/subtitle/text", nullptr}, {"/settings/subtitle/y", nullptr},
          {"/settings/picture/lr", nullptr}, {"/settings/picture/bb", 128}},
         json::array({"/mnt/color.ini", "/mnt/mac.sh", "/mnt/wifi/wpa.conf", "/mnt/zk.ini"})},
    };
    std::vector<json> documents;
    json schema;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox box;
        layOut(box);
        if (schema.is_null()) schema = documentOf(box.state("schema=1"));
        for (const auto& [path, content] : c.files) {
            if (content)
                box.write(path, *content);
            else
                box.remove(path);
        }
        const json document = documentOf(box.state("secrets=1"));
        for (const auto& [pointer, value] : c.expected)
            EXPECT_EQ(document.at(json::json_pointer(pointer)), value) << pointer;
        json unreadable = document["unreadable"];
        std::sort(unreadable.begin(), unreadable.end());
        EXPECT_EQ(unreadable, c.unreadable);
        documents.push_back(document);
    }
    // What the files hold that the device would refuse is null, so even
    // these documents, secrets and all, validate.
    EXPECT_EQ(validate(schema, documents), "");
}

// Every change gives another revision, even one the document does not
// show (a pass phrase, a comment in the script, a file the start-up reads
// touched after the boot); a client holding the revision gets 304 alone.
TEST(StateDocument, RevisionChangesWithEveryFileItReadsAndAnswersWhatTheClientHolds) {
    Sandbox box;
    layOut(box);
    box.write("/proc/stat", "cpu 1 2 3\nbtime 1000\n");
    const auto get = [&](std::vector<std::string> variables = {}) {
        sandbox::Request r;
        r.stateProgram = true;
        r.omitContentLength = true;
        r.variables = std::move(variables);
        return box.run(r);
    };
    const std::string first = etagOf(get());
    ASSERT_EQ(first.size(), 18u) << first;
    EXPECT_EQ(etagOf(get()), first);
    EXPECT_EQ(etagOf(box.state("secrets=1")), first);
    const std::string notModified = "Status: 304 Not Modified\r\nETag: " + first + "\r\nCache-Control: no-store\r\n\r\n";
    for (const std::string& held : std::vector<std::string>{first, "W/" + first, "\"0\", " + first, "*"})
        EXPECT_EQ(get({"HTTP_IF_NONE_MATCH=" + held}).out, notModified) << held;
    EXPECT_EQ(etagOf(get({"HTTP_IF_NONE_MATCH=\"0\""})), first);

    const std::function<void()> changes[] = {
        [&] { box.post({{"name3_submit", ""}, {"bitrate", "3000000"}}); },
        [&] { box.write("/mnt/wifi/wpa.conf", sandbox::networkBlock("\"studio\"", "\"other-pass\"")); },
        [&] { box.write("/mnt/autorun.sh", *box.read("/mnt/autorun.sh") + "# by hand\n"); },
        [&] { box.remove("/mnt/tcp.ini"); },
        [&] { box.write("/tmp/format.ini", "9"); },
        [&] { box.write("/proc/stat", "cpu 1 2 3\nbtime 2000\n"); },
    };
    std::set<std::string> seen = {first};
    for (std::size_t i = 0; i < std::size(changes); ++i) {
        changes[i]();
        const std::string now = etagOf(get());
        EXPECT_TRUE(seen.insert(now).second) << "change " << i << " kept revision " << now;
    }
}

TEST(StateDocument, SecretsOnlyWithSecretsAndTemplateOfTheScript) {
    Sandbox box;
    layOut(box);
    const json plain = documentOf(box.state());
    EXPECT_FALSE(plain["settings"]["wifi"].contains("passphrase"));
    EXPECT_EQ(plain["settings"]["wifi"]["passphrase_set"], true);
    EXPECT_FALSE(plain["settings"]["outputs"].contains("rtmp_key"));
    EXPECT_EQ(plain["settings"]["outputs"]["rtmp_key_set"], true);
    EXPECT_EQ(plain["settings"]["outputs"]["rtmp_url"], "rtmp://192.168.18.7/live");
    EXPECT_EQ(box.state().out.find("s3cret"), std::string::npos);
    EXPECT_EQ(box.state().out.find("kovra"), std::string::npos);
    const json secrets = documentOf(box.state("secrets=1"));
    EXPECT_EQ(secrets["settings"]["wifi"]["passphrase"], "s3cret-pass");
    EXPECT_EQ(secrets["settings"]["outputs"]["rtmp_key"], "kovra");
    // The laid-out script has neither template's tail; after a swap it has.
    EXPECT_EQ(plain["codec_template"], nullptr);
    box.post({{"codec_submit", ""}, {"ctrlts", "female"}});
    EXPECT_EQ(documentOf(box.state())["codec_template"], "mp3");
}

TEST(StateDocument, ChangeWaitsForARestartUntilTheDeviceStartsAgain) {
    Sandbox box;
    layOut(box);
    const auto now = std::chrono::system_clock::now();
    const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(box.hostPath("/mnt")))
        std::filesystem::last_write_time(entry.path(), old);
    const auto seconds = [](auto t) {
        return std::to_string(std::chrono::duration_cast<std::chrono::seconds>(t.time_since_epoch()).count());
    };
    box.write("/proc/stat", "cpu  1 2 3\nbtime " + seconds(now - std::chrono::minutes(10)) + "\n");
    EXPECT_EQ(documentOf(box.state())["reboot_pending"], false);
    box.post({{"name3_submit", ""}, {"bitrate", "3000000"}});
    EXPECT_EQ(documentOf(box.state())["reboot_pending"], true);
    box.write("/proc/stat", "btime " + seconds(now + std::chrono::seconds(5)) + "\n");
    EXPECT_EQ(documentOf(box.state())["reboot_pending"], false);
    box.post({{"name3_submit", ""}, {"bitrate", "3000000"}});
    // A boot time too long to be one counts as unknown, not as some time.
    box.write("/proc/stat", "btime 99999999999999999999999999\n");
    EXPECT_EQ(documentOf(box.state())["reboot_pending"], false);
}

TEST(StateDocument, RequestsItDoesNotServeGetAClearAnswer) {
    Sandbox box;
    layOut(box);
    sandbox::Request post;
    post.method = "PUT";
    post.stateProgram = true;
    post.body = "a=1";
    const struct {
        const char* name;
        sandbox::Reply reply;
        std::string head;
    } cases[] = {
        {"another method", box.run(post),
         "Status: 405 Method Not Allowed\r\nContent-Type: application/json; charset=utf-8\r\n"
         "Cache-Control: no-store\r\nAllow: GET, POST\r\n\r\n{\"error\":"},
        {"an unknown parameter", box.state("secret=1"),
         "Status: 400 Bad Request\r\nContent-Type: application/json; charset=utf-8\r\n"
         "Cache-Control: no-store\r\n\r\n{\"error\":\"unknown query parameter: secret\"}\n"},
        {"a parameter with another value", box.state("schema=yes"),
         "Status: 400 Bad Request\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.reply.out.compare(0, c.head.size(), c.head), 0) << c.reply.out;
        EXPECT_EQ(c.reply.exitCode, 0);
    }
    // A change under way holds the lock: the reader answers busy after its wait.
    int fd = ::open(box.hostPath("/mnt").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    const sandbox::Reply busy = box.state();
    ::close(fd);
    EXPECT_EQ(busy.out.rfind("Status: 503 Service Unavailable\r\n", 0), 0u) << busy.out;
    EXPECT_NE(busy.out.find("\r\nRetry-After: "), std::string::npos);
}

// The reader never writes, creates or removes anything, not even for a
// colour key in the boot-script header, and answers from a read-only /mnt.
TEST(StateDocument, ReadingChangesNothing) {
    Sandbox box;
    layOut(box);
    box.write("/mnt/autorun.sh", "xlr=7\n" + sandbox::bootScript());
    const auto snapshot = [&] {
        std::map<std::string, std::pair<std::string, std::filesystem::file_time_type>> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(box.hostPath("")))
            files[entry.path()] = {entry.is_regular_file() ? *box.read(entry.path().string().substr(
                                                                 box.hostPath("").size()))
                                                           : "",
                                   entry.last_write_time()};
        return files;
    };
    const auto before = snapshot();
    const json document = documentOf(box.state("secrets=1"));
    EXPECT_EQ(document["settings"]["picture"]["lr"], 0);
    EXPECT_EQ(snapshot(), before);

    sandbox::Request r;
    r.stateProgram = true;
    r.omitContentLength = true;
    r.readOnlyMnt = true;
    r.queryString = "secrets=1";
    const sandbox::Reply readOnly = box.run(r);
    if (readOnly.exitCode == sandbox::kNoReadOnlyMount) GTEST_SKIP() << "no mount namespace here";
    EXPECT_EQ(documentOf(readOnly), document);
}

}  // namespace

namespace {

// Two subtitle texts are the same setting when they are equal with the
// full-width forms of ASCII read as ASCII ("x-equivalent": "fullwidth-ascii").
std::string fullwidthAsAscii(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto b = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
        if (i + 2 < text.size() && (b(0) & 0xF0) == 0xE0) {
            const unsigned point = (b(0) & 0x0F) << 12 | (b(1) & 0x3F) << 6 | (b(2) & 0x3F);
            const char ascii = point >= 0xFF01 && point <= 0xFF5E ? static_cast<char>(point - 0xFEE0)
                               : point == 0xFFE5                 ? '$'
                               : point == 0xFFE3                 ? '~'
                               : point == 0x3000                 ? ' '
                                                                 : '\0';
            if (ascii) {
                out += ascii;
                i += 3;
                continue;
            }
        }
        out += text[i++];
    }
    return out;
}

bool sameSetting(const std::string& name, const json& a, const json& b) {
    if (name == "subtitle.text" && a.is_string() && b.is_string())
        return fullwidthAsAscii(a.get<std::string>()) == fullwidthAsAscii(b.get<std::string>());
    return a == b;
}

// Values at and past each bound of a setting, each character its pattern
// refuses, and multi-byte texts; base is a value the setting takes.
std::vector<json> boundaryValues(const json& property, const json& base) {
    std::vector<json> values = {base};
    if (property.contains("enum")) {
        for (const json& v : property["enum"])
            if (!v.is_null()) values.push_back(v);
        if (property["x-form"].contains("field")) values.push_back(base.dump() + "1");
        else if (property["x-form"].contains("radio")) values.push_back("maybe");
        return values;
    }
    if (property.contains("minimum")) {
        const long long low = property["minimum"], high = property["maximum"];
        for (long long n : {low, low - 1, high, high + 1}) values.push_back(n);
        for (const char* text : {"1;", "\xEF\xBC\x94", "4000000x", "+5", " 5", "1e3"}) values.push_back(text);
        return values;
    }
    const std::string text = base.get<std::string>();
    for (const char* c : {" ", "\t", ";", "&", "|", "$", "`", "'", "\"", "\\", "<", ">", "(", ")",
                          "=", "~", "#", "*", "end", "\xC3\xA9", "\xE4\xB8\xAD", "\xF0\x9F\x98\x80",
                          "\xEF\xBC\x81", "\xEF\xBF\xA5", "\xE2\x82\xAC"})
        values.push_back(text + c);
    if (property.contains("maxLength")) {
        const std::size_t most = property["maxLength"], bytes = property.value("x-maxBytes", most);
        const std::size_t least = property.value("minLength", 1);
        values.push_back(std::string(most, 'a'));
        values.push_back(std::string(most + 1, 'a'));
        values.push_back(std::string(least, 'a'));
        if (least > 1) values.push_back(std::string(least - 1, 'a'));
        std::string wide;  // three bytes a character: past the bytes, within the characters
        while (wide.size() / 3 < most) wide += "\xE4\xB8\xAD";
        values.push_back(wide);
        values.push_back(wide.substr(0, bytes / 3 * 3));
    }
    for (const char* address : {"10.0.0.1", "255.255.255.255", "255.0.255.0", "0.0.0.0", "256.0.0.1",
                                "010.0.0.1", "1.2.3", "02:00:00:00:00:01", "01:00:5e:00:00:01",
                                "00:00:00:00:00:00", "FE:ff:FF:ff:FF:ff"})
        if (property.contains("pattern") && property.value("maxLength", 17) <= 17) values.push_back(address);
    return values;
}

class SchemaAgreesWithTheDevice : public ::testing::TestWithParam<const char*> {};

// Every setting of a section walked with boundary values through its form:
// the schema takes a value exactly when the device stores it; a value the
// device refuses leaves the setting as it was.
TEST_P(SchemaAgreesWithTheDevice, OnEveryBoundaryOfEverySetting) {
    const std::string section = GetParam();
    Sandbox box;
    box.leakChecks = false;  // hundreds of requests; the rest of the suite checks leaks
    layOut(box);
    const json schema = documentOf(box.state("schema=1"));
    std::map<std::string, json> settings;
    collect(schema, "", settings);
    const auto files = [&] { return statetest::filesUnder(box); };
    const auto laidOut = files();
    // Back to the laid-out files for the next value.
    const auto reset = [&] {
        const auto now = files();
        for (const auto& [path, content] : laidOut)
            if (now.at(path) != content) box.write(path, content);
        for (const auto& [path, content] : now)
            if (!laidOut.count(path)) box.remove(path);
    };
    const json before = documentOf(box.state("secrets=1"));
    struct Probe {
        std::string name;
        json value;
        bool stored;
        std::string reply;
        std::string setAnswer = "";
        bool setStored = false;
    };
    std::vector<Probe> probes;
    std::vector<json> instances;
    for (const auto& [name, property] : settings) {
        if (name.rfind(section + ".", 0) != 0 || !property.contains("x-form")) continue;
        const json& form = property["x-form"];
        for (const json& value : boundaryValues(property, kNewValues.at(name))) {
            // A value with no form word (a bogus choice) is posted as it is.
            json post = form;
            if (form.contains("choices") && !form["choices"].contains(value.is_string() ? value.get<std::string>() : value.dump()))
                post.erase("choices"), post["field"] = form.contains("radio") ? form["radio"] : form["menu"];
            const sandbox::Reply reply = box.post(formPost(post, value, before));
            const json after = at(documentOf(box.state("secrets=1")), name);
            const bool stored = sameSetting(name, after, value);
            // The form takes a part joined with the other as one address, which
            // it stores whatever shape the part has; the schema refuses a part
            // that would not come back whole.
            if (!stored && !form.contains("part")) {
                EXPECT_TRUE(sameSetting(name, after, at(before, name)))
                    << name << " = " << value.dump() << " became " << after.dump();
            }
            probes.push_back({name, value, stored, sandbox::bodyOf(reply).value_or("").substr(0, 120)});
            json instance = json::object();
            std::string pointer = "/" + name;
            for (char& c : pointer)
                if (c == '.') c = '/';
            instance[json::json_pointer(pointer)] = value;
            instances.push_back(instance);
            reset();
            // The same value as a change set: taken exactly when the schema
            // takes it, and then stored; refused whole otherwise.
            const sandbox::Reply setReply = box.run(statetest::setRequest(json{{"settings", instance}}.dump()));
            probes.back().setAnswer = statetest::statusOf(setReply);
            probes.back().setStored = sameSetting(name, at(documentOf(box.state("secrets=1")), name), value);
            if (probes.back().setAnswer != "200") {
                EXPECT_EQ(files(), laidOut) << name << " = " << value.dump();
            }
            reset();
        }
    }
    ASSERT_FALSE(probes.empty());
    if (section == "subtitle") {
        EXPECT_EQ(settings.at("subtitle.text").value("x-equivalent", ""), "fullwidth-ascii");
    }
    const std::vector<std::string> errors = schemaErrors(schema, instances);
    int stored = 0;
    for (std::size_t i = 0; i < probes.size(); ++i) {
        stored += probes[i].stored;
        EXPECT_EQ(errors[i].empty(), probes[i].stored)
            << probes[i].name << " = " << probes[i].value.dump() << "\n  schema: "
            << (errors[i].empty() ? "valid" : errors[i]) << "\n  device: " << probes[i].reply;
        EXPECT_EQ(probes[i].setAnswer, errors[i].empty() ? "200" : "422")
            << "as a set: " << probes[i].name << " = " << probes[i].value.dump();
        EXPECT_EQ(probes[i].setStored, errors[i].empty())
            << "as a set: " << probes[i].name << " = " << probes[i].value.dump();
    }
    std::printf("%s: %zu values, %d stored, %zu refused\n",
                section.c_str(), probes.size(), stored, probes.size() - stored);
}

INSTANTIATE_TEST_SUITE_P(Sections, SchemaAgreesWithTheDevice,
                         ::testing::Values("network", "wifi", "outputs", "encoder", "capture", "audio",
                                           "picture", "overlays", "subtitle"));

}  // namespace
