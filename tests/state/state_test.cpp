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
#include <map>
#include <nlohmann/json.hpp>

#include "support/appliance.h"

namespace {

using nlohmann::json;
using sandbox::Fields;
using sandbox::Sandbox;

const std::string kJsonHeaders =
    "Content-Type: application/json; charset=utf-8\r\nCache-Control: no-store\r\n\r\n";

// The body of a state reply whose headers are the plain 200 ones.
json documentOf(const sandbox::Reply& reply) {
    EXPECT_EQ(reply.out.compare(0, kJsonHeaders.size(), kJsonHeaders), 0) << reply.out.substr(0, 200);
    return json::parse(reply.out.substr(std::min(reply.out.size(), kJsonHeaders.size())));
}

void layOut(Sandbox& box) {
    sandbox::layOutAppliance(box);
    box.write("/mnt/m.ini", "1 10 20 300 200 0 5 6 7 8");
    box.write("/mnt/zk.ini", "1 0 0 \xA3\xC1");
    box.write("/mnt/zhiti.ini", "0");
    box.write("/mnt/mac.sh", "ifconfig eth0 hw ether 02:00:00:00:00:01\n");
}

// A new value for every setting a form can change, unlike the laid-out one.
const std::map<std::string, json> kNewValues = {
    {"network.ip", "10.1.2.3"}, {"network.netmask", "255.255.0.0"},
    {"network.gateway", "10.1.0.1"}, {"network.mac", "02:aa:bb:cc:dd:ee"},
    {"wifi.enabled", false}, {"wifi.ssid", "lab net"}, {"wifi.passphrase", "new phrase 9"},
    {"wifi.address", "10.9.9.9"},
    {"outputs.transport_stream", "off"}, {"outputs.stream_tag", false},
    {"outputs.rtsp_rtmp", "rtsp"}, {"outputs.ts_address", "239.1.1.1"}, {"outputs.ts_port", 5004},
    {"outputs.rtmp_url", "rtmp://10.0.0.5/live/cam"},
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

// The post that sets value through the setting's form.
Fields formPost(const json& form, const json& value) {
    Fields fields = {{form["submit"], ""}};
    const std::string key = value.is_string() ? value.get<std::string>() : value.dump();
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

// Validates every document's settings against the schema with Debian's
// python3-jsonschema; returns what the validator said.
std::string validate(const json& schema, const std::vector<json>& documents) {
    const std::string dir = std::filesystem::temp_directory_path() / "webcfg-schema-check";
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "/schema.json") << schema.dump();
    json settings = json::array();
    for (const json& d : documents) settings.push_back(d["settings"]);
    std::ofstream(dir + "/documents.json") << settings.dump();
    const std::string command =
        "python3 -c 'import json,sys,jsonschema\n"
        "s=json.load(open(sys.argv[1]+\"/schema.json\"))\n"
        "jsonschema.Draft202012Validator.check_schema(s)\n"
        "v=jsonschema.Draft202012Validator(s)\n"
        "for d in json.load(open(sys.argv[1]+\"/documents.json\")):\n"
        "  for e in v.iter_errors(d): print(list(e.path), e.message)\n' " + dir + " 2>&1";
    std::string said;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[512];
        while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) said.append(buf, n);
        if (::pclose(p) != 0) said += "(validator failed)";
    }
    std::filesystem::remove_all(dir);
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
        const sandbox::Reply reply = box.post(formPost(property["x-form"], wanted->second));
        const json after = documentOf(box.state("secrets=1"));
        EXPECT_EQ(at(after, name), wanted->second) << sandbox::bodyOf(reply).value_or("");
        EXPECT_EQ(after["unreadable"], json::array());
        documents.push_back(documentOf(box.state()));
    }
    EXPECT_EQ(kNewValues.size(), settings.size() - 1);  // all but the read-only passphrase_set
    EXPECT_EQ(validate(schema, documents), "");
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
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox box;
        layOut(box);
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
    }
}

TEST(StateDocument, PassPhraseOnlyWithSecretsAndTemplateOfTheScript) {
    Sandbox box;
    layOut(box);
    const json plain = documentOf(box.state());
    EXPECT_FALSE(plain["settings"]["wifi"].contains("passphrase"));
    EXPECT_EQ(plain["settings"]["wifi"]["passphrase_set"], true);
    EXPECT_EQ(box.state().out.find("s3cret"), std::string::npos);
    EXPECT_EQ(documentOf(box.state("secrets=1"))["settings"]["wifi"]["passphrase"], "s3cret-pass");
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
    post.method = "POST";
    post.stateProgram = true;
    post.body = "a=1";
    const struct {
        const char* name;
        sandbox::Reply reply;
        std::string head;
    } cases[] = {
        {"another method", box.run(post),
         "Status: 405 Method Not Allowed\r\nContent-Type: application/json; charset=utf-8\r\n"
         "Cache-Control: no-store\r\nAllow: GET\r\n\r\n{\"error\":"},
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
