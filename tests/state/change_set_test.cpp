// Change sets through the real state program: every answer with the files
// it leaves, the same files as the equivalent form posts, a kill at any
// moment, and clients racing on one revision.
#include <gtest/gtest.h>

#include <signal.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include "state/state_support.h"

namespace {

using nlohmann::json;
using sandbox::Fields;
using sandbox::Sandbox;
using statetest::documentOf;
using statetest::etagOf;
using statetest::filesUnder;
using statetest::answerOf;
using statetest::layOut;
using statetest::setRequest;
using statetest::statusOf;

// A subtitle text longer than the device keeps: its line is not read
// whole, so the subtitle commands refuse to write it back.
const std::string kOverlongSubtitle = "1 0 0 " + std::string(240, 'A');

struct AnswerCase {
    const char* name;
    std::string body;
    std::string type = "application/json";
    const char* ifMatch = "";  // "current": the revision read before
    std::optional<std::string> contentLength;
    bool omitLength = false;
    const char* subtitleFile = nullptr;  // written over the laid-out one first
    std::string status;
    json answer;  // the whole answer; for 200 only "changed"
    std::map<std::string, std::string> changedFiles;  // appliance path: a text the file now holds
};

class Answers : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(Answers, SayWhatTheDeviceNowHoldsAndChangeNothingElse) {
    const AnswerCase& c = GetParam();
    Sandbox box;
    layOut(box);
    if (c.subtitleFile) box.write("/mnt/zk.ini", c.subtitleFile);
    const std::string revision = etagOf(box.state());
    const auto before = filesUnder(box);
    sandbox::Request request =
        setRequest(c.body, std::string(c.ifMatch) == "current" ? revision : c.ifMatch, c.type);
    request.contentLength = c.contentLength;
    request.omitContentLength = c.omitLength;
    const sandbox::Reply reply = box.run(request);
    ASSERT_EQ(statusOf(reply), c.status) << reply.out;
    json answer = answerOf(reply);
    if (c.status == "412") answer["revision"] = "\"" + answer["revision"].get<std::string>() + "\"" == revision;
    if (c.status == "200") {
        EXPECT_EQ(answer["changed"], c.answer) << reply.out.substr(0, 300);
        EXPECT_EQ(etagOf(reply), "\"" + answer["revision"].get<std::string>() + "\"");
        EXPECT_EQ(answer["state"], documentOf(box.state())) << "the answer holds the document as it is now";
        EXPECT_FALSE(answer["state"]["settings"]["wifi"].contains("passphrase"));
    } else {
        EXPECT_EQ(answer, c.answer);
    }
    const auto after = filesUnder(box);
    for (const auto& [path, content] : before) {
        SCOPED_TRACE(path);
        const auto changed = c.changedFiles.find(path);
        ASSERT_TRUE(after.count(path));
        if (changed == c.changedFiles.end())
            EXPECT_EQ(after.at(path), content);
        else
            EXPECT_NE(after.at(path).find(changed->second), std::string::npos) << after.at(path);
    }
    EXPECT_EQ(after.size(), before.size() + (c.changedFiles.count("/mnt/autorun.sh.swp") ? 1 : 0));
}

const std::string kBitrateSet = R"({"settings": {"encoder": {"bitrate": 3000000}}})";

INSTANTIATE_TEST_SUITE_P(
    ChangeSets, Answers,
    ::testing::Values(
        AnswerCase{"applied", R"({"settings": {"encoder": {"bitrate": 3000000, "ttl": 32}, "overlays": {"mg": {"x": 64}}}})",
                   "application/json; charset=utf-8", "current", {}, false, nullptr, "200",
                   json{"encoder.bitrate", "encoder.ttl", "overlays.mg.x"},
                   {{"/mnt/autorun.sh", "bitrate=3000000\n"}, {"/mnt/autorun.sh.swp", "bitrate="},
                    {"/mnt/ttl.ini", "32"}, {"/mnt/m.ini", "1 64 20 "}}},
        AnswerCase{"as_a_merge_patch", kBitrateSet, "application/merge-patch+json", "", {}, false, nullptr, "200",
                   json{"encoder.bitrate"},
                   {{"/mnt/autorun.sh", "bitrate=3000000\n"}, {"/mnt/autorun.sh.swp", "bitrate="}}},
        AnswerCase{"every_value_already_held", R"({"settings": {"encoder": {"ttl": 64}, "wifi": {"passphrase": "s3cret-pass"}}})",
                   "application/json", "current", {}, false, nullptr, "200", json::array(), {}},
        AnswerCase{"refused_halfway", R"({"settings": {"encoder": {"bitrate": 3000000}, "subtitle": {"x": 40}}})",
                   "application/json", "", {}, false, kOverlongSubtitle.c_str(), "409",
                   json{{"error", "refused"}, {"setting", "subtitle.x"}, {"reply", "error len"}}, {}},
        AnswerCase{"stale_revision", kBitrateSet, "application/json", "\"0123456789abcdef\"", {}, false, nullptr,
                   "412", json{{"error", "changed"}, {"revision", true}}, {}},
        AnswerCase{"weak_tag_never_matches", kBitrateSet, "application/json", "W/\"0123456789abcdef\"", {}, false,
                   nullptr, "412", json{{"error", "changed"}, {"revision", true}}, {}},
        AnswerCase{"against_the_schema",
                   R"({"settings": {"encoder": {"bitrate": 0, "level": 7, "nope": 1}, "wifi": {"passphrase_set": true, "ssid": "a\nb"}, "network": {"ip": null}}, "codec_template": "flac", "extra": 1})",
                   "application/json", "", {}, false, nullptr, "422",
                   json{{"errors",
                         {{{"setting", "codec_template"}, {"rule", "enum"}, {"message", "must be \"aac\" or \"mp3\""}},
                          {{"setting", "extra"}, {"rule", "additionalProperties"}, {"message", "is no member of a change set"}},
                          {{"setting", "encoder.bitrate"}, {"rule", "minimum"}, {"message", "must be at least 1"}},
                          {{"setting", "encoder.level"}, {"rule", "enum"},
                           {"message", "must be one of 50, 42, 41, 40, 32, 31, 30, 22, 21, 20, 13, 12, 11, 9, 10"}},
                          {{"setting", "encoder.nope"}, {"rule", "additionalProperties"}, {"message", "is no setting of this device"}},
                          {{"setting", "network.ip"}, {"rule", "type"},
                           {"message", "must be a value: null only says that the device holds none"}},
                          {{"setting", "wifi.passphrase_set"}, {"rule", "readOnly"}, {"message", "is read-only: the device sets it"}},
                          {{"setting", "wifi.ssid"}, {"rule", "pattern"},
                           {"message", "holds characters or a form the device cannot take"}}}}},
                   {}},
        AnswerCase{"empty_set", "{}", "application/json", "", {}, false, nullptr, "422",
                   json{{"errors", {{{"setting", ""}, {"rule", "required"},
                                     {"message", "a change set holds settings, codec_template, restart or confirm"}}}}},
                   {}},
        AnswerCase{"restart_without_a_usable_window", R"({"restart": {"confirm_within": 5, "after": 1}, "confirm": false})",
                   "application/json", "", {}, false, nullptr, "422",
                   json{{"errors", {{{"setting", "confirm"}, {"rule", "not"}, {"message", "false goes back to the settings before the restart; it comes alone"}},
                                    {{"setting", "restart.after"}, {"rule", "additionalProperties"}, {"message", "is no member of a restart"}},
                                    {{"setting", "restart.confirm_within"}, {"rule", "minimum"}, {"message", "must be at least 10"}}}}},
                   {}},
        AnswerCase{"confirm_without_a_trial", R"({"confirm": true, "settings": {"encoder": {"ttl": 32}}})", "application/json", "",
                   {}, false, nullptr, "409",
                   json{{"error", "no trial"}, {"reply", "no restart trial is running; nothing was done"}}, {}},
        AnswerCase{"going_back_without_a_trial", R"({"confirm": false})", "application/json", "", {}, false, nullptr, "409",
                   json{{"error", "no trial"}, {"reply", "no restart trial is running; nothing was done"}}, {}},
        AnswerCase{"trial_without_a_record_of_the_start", R"({"restart": {"confirm_within": 60}})", "application/json", "",
                   {}, false, nullptr, "409",
                   json{{"error", "no record of the start"},
                        {"reply", "webcfg-boot has not recorded this start, so a trial has nothing to go back to; nothing was done"}},
                   {}},
        AnswerCase{"not_json", R"({"settings": )", "application/json", "", {}, false, nullptr, "400",
                   json{{"error", "the body is not JSON; nothing was done"}}, {}},
        AnswerCase{"no_length", kBitrateSet, "application/json", "", {}, true, nullptr, "411",
                   json{{"error", "a change set needs a Content-Length; nothing was done"}}, {}},
        AnswerCase{"too_large", kBitrateSet, "application/json", "", "1048577", false, nullptr, "413",
                   json{{"error", "a change set may hold at most 1048576 bytes"}}, {}},
        AnswerCase{"a_form", "name3_submit=&bitrate=3000000", "application/x-www-form-urlencoded", "", {}, false,
                   nullptr, "415",
                   json{{"error", "a change set is sent as application/json or application/merge-patch+json"}}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// The form posts a set stands for, one per command, in the list's order.
struct EqualCase {
    const char* name;
    json set;
    std::vector<Fields> posts;
};

class SameFilesAsForms : public ::testing::TestWithParam<EqualCase> {};

TEST_P(SameFilesAsForms, ByteForByte) {
    const EqualCase& c = GetParam();
    Sandbox bySet, byForms;
    layOut(bySet);
    layOut(byForms);
    const sandbox::Reply reply = bySet.run(setRequest(c.set.dump()));
    ASSERT_EQ(statusOf(reply), "200") << reply.out;
    for (const Fields& post : c.posts) byForms.post(post);
    const auto files = filesUnder(bySet);
    EXPECT_EQ(files, filesUnder(byForms));
    EXPECT_EQ(files.count("/mnt/.webcfg-journal"), 0u);
    EXPECT_EQ(bySet.count("sync"), 0) << "a set flushes once, not through the commands' own sync calls";
}

INSTANTIATE_TEST_SUITE_P(
    ChangeSets, SameFilesAsForms,
    ::testing::Values(
        EqualCase{"five_header_settings",
                  {{"settings", {{"encoder", {{"bitrate", 3000000}, {"framerate", 30}, {"iframe_interval", 50}}},
                                 {"audio", {{"sample_rate", 48000}, {"bitrate", 128000}}}}}},
                  {{{"name3_submit", ""}, {"bitrate", "3000000"}},
                   {{"name_audio_submit", ""}, {"audiosample", "48000"}},
                   {{"name_audio2_submit", ""}, {"audiobitrate", "128000"}},
                   {{"name4_submit", ""}, {"framerate", "30"}},
                   {{"namei_submit", ""}, {"fi", "50"}}}},
        EqualCase{"the_codec_forms_groups",
                  {{"settings", {{"outputs", {{"transport_stream", "off"}, {"rtsp_rtmp", "rtsp"}}},
                                 {"encoder", {{"profile", "baseline"}, {"scaling", false}}},
                                 {"wifi", {{"enabled", false}}}}}},
                  {{{"codec_submit", ""}, {"selvs", "female"}, {"ctrlaz", "female"}, {"ifwifi", "female"},
                    {"ctrlez", "female"}, {"ctrlbz", "amale"}}}},
        EqualCase{"a_template_swap_keeping_the_address",
                  {{"codec_template", "mp3"}, {"settings", {{"network", {{"ip", "10.7.7.7"}}}}}},
                  {{{"codec_submit", ""}, {"ctrlts", "female"}}, {{"name1_submit", ""}, {"ip", "10.7.7.7"}}}},
        EqualCase{"windows_subtitle_and_stream_key",
                  {{"settings", {{"overlays", {{"gx", {{"y", 44}}}}},
                                 {"subtitle", {{"text", "字幕 live"}, {"enabled", false}}},
                                 {"outputs", {{"rtmp_key", "cam-9"}}},
                                 {"wifi", {{"ssid", "lab net"}, {"passphrase", "new phrase 9"}}}}}},
                  {{{"gx_xy", ""}, {"gx_x", "5"}, {"gx_y", "44"}},
                   {{"rtmpurl_submit", ""}, {"rtmpurl", "rtmp://192.168.18.7/live/cam-9"}},
                   {{"ssid_submit", ""}, {"ssid", "lab net"}},
                   {{"passkey_submit", ""}, {"passkey", "new phrase 9"}},
                   {{"sub_a_submit", ""}, {"sub_a", "male"}},
                   {{"sub_submit", ""}, {"sub_text", "字幕 live"}}}}),
    [](const auto& info) { return std::string(info.param.name); });

// A set killed at a random moment: the next request finds every file as
// before the set or as the set leaves it, never a mix.
TEST(ChangeSets, KilledAtAnyMomentLeaveEveryFileAsBeforeOrAfter) {
    const std::string set =
        R"({"settings": {"encoder": {"bitrate": 3000000}, "outputs": {"transport_stream": "off"}, )"
        R"("overlays": {"mg": {"x": 64}}, "subtitle": {"text": "live 2"}}})";
    Sandbox box;
    box.leakChecks = false;
    layOut(box);
    const auto before = filesUnder(box);
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(statusOf(box.run(setRequest(set))), "200");
    // Kills spread over the whole run of a set, and a little past it.
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started);
    box.state();
    auto after = filesUnder(box);
    after.erase("/mnt/autorun.sh.swp");
    std::mt19937 random(20261208);
    int asBefore = 0, asAfter = 0, undone = 0;
    for (int i = 0; i < 300; ++i) {
        for (const auto& [path, content] : before) box.write(path, content);
        box.remove("/mnt/autorun.sh.swp");
        box.runAndKill(setRequest(set), std::chrono::microseconds(random() % (took.count() * 5 / 4 + 1)));
        undone += box.exists("/mnt/.webcfg-journal");
        box.state();  // any request undoes an unfinished set first
        auto now = filesUnder(box);
        now.erase("/mnt/autorun.sh.swp");
        std::string mix;
        for (const auto& [path, content] : now)
            if (!before.count(path) || before.at(path) != content) mix += " " + path;
        ASSERT_TRUE(now == before || now == after) << "killed set " << i << " left a mix; unlike before:" << mix;
        (now == before ? asBefore : asAfter)++;
    }
    std::printf("300 kills: %d left the files as before (%d undone from the journal), %d as after\n",
                asBefore, undone, asAfter);
    EXPECT_GT(undone, 0);
    EXPECT_GT(asAfter, 0);
}

// Twenty clients at once, each adding one to the TTL it read, with the
// revision it read: one per revision succeeds, the others are told, and
// after their retries no increment is lost.
TEST(ChangeSets, RacingClientsLoseNoUpdate) {
    Sandbox box;
    box.leakChecks = false;
    layOut(box);
    constexpr int kClients = 20;
    std::atomic<int> conflicts{0};
    std::vector<std::string> appliedRevisions(kClients);
    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; ++i)
        clients.emplace_back([&, i] {
            for (int attempt = 0; attempt < 200; ++attempt) {
                const sandbox::Reply read = box.state();
                const int ttl = documentOf(read)["settings"]["encoder"]["ttl"];
                const json set = {{"settings", {{"encoder", {{"ttl", ttl + 1}}}}}};
                const sandbox::Reply reply = box.run(setRequest(set.dump(), etagOf(read)));
                if (statusOf(reply) == "200") {
                    appliedRevisions[i] = etagOf(read);
                    return;
                }
                if (statusOf(reply) == "412") ++conflicts;
            }
        });
    for (std::thread& t : clients) t.join();
    EXPECT_EQ(documentOf(box.state())["settings"]["encoder"]["ttl"], 64 + kClients);
    std::set<std::string> distinct(appliedRevisions.begin(), appliedRevisions.end());
    EXPECT_EQ(distinct.size(), static_cast<std::size_t>(kClients)) << "two sets applied to one revision";
    EXPECT_FALSE(distinct.count(""));
    EXPECT_GT(conflicts.load(), 0);
}

}  // namespace
