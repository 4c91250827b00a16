// The restart with a safety net, through the real programs: webcfg-boot
// as the device's start-up runs it (the boot's identity and uptime written
// under the sandbox root), a trial that nobody confirms or that is
// confirmed, a going back cut short, and what waits for a restart.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <functional>
#include <random>
#include <thread>

#include "state/state_support.h"

namespace {

using nlohmann::json;
using sandbox::Sandbox;
using statetest::documentOf;
using statetest::answerOf;
using statetest::layOut;
using statetest::statusOf;

// A boot identity as the kernel writes it, the n-th start's.
std::string bootId(int n) { return "5d2c1c1e-8f3a-4b6e-9a0d-00000000000" + std::to_string(n); }

// The device starts: a new boot identity, the kernel's uptime, then
// webcfg-boot, which returns at once (a countdown goes on in the background).
void start(Sandbox& box, int boot, int uptime) {
    box.write("/proc/sys/kernel/random/boot_id", bootId(boot) + "\n");
    box.write("/proc/uptime", std::to_string(uptime) + ".42 1.00\n");
    sandbox::Request startUp;
    startUp.bootProgram = true;
    const sandbox::Reply reply = box.run(startUp);
    EXPECT_EQ(reply.exitCode, 0) << reply.err;
}

sandbox::Reply post(Sandbox& box, const json& set) { return box.run(statetest::setRequest(set.dump())); }

// The settings files only, without the records of the start and the trial.
std::map<std::string, std::string> settingsFiles(const Sandbox& box) {
    auto files = statetest::filesUnder(box);
    for (auto it = files.begin(); it != files.end();)
        it = it->first.rfind("/mnt/.webcfg-", 0) == 0 ? files.erase(it) : std::next(it);
    return files;
}

bool waitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 100; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

TEST(Restart, PendingListsWhatChangedSinceTheStartAndNothingElse) {
    Sandbox box;
    layOut(box);
    start(box, 1, 100);
    json doc = documentOf(box.state());
    EXPECT_EQ(doc["pending"], json::array());
    EXPECT_EQ(doc["reboot_pending"], false);

    ASSERT_EQ(statusOf(post(box, {{"settings", {{"encoder", {{"bitrate", 3000000}, {"ttl", 32}}},
                                                {"wifi", {{"passphrase", "new phrase 9"}}}}}})),
              "200");
    doc = documentOf(box.state());
    EXPECT_EQ(doc["pending"], json({"wifi.passphrase", "encoder.bitrate", "encoder.ttl"}));
    EXPECT_EQ(doc["running"], json({{"encoder.bitrate", 2000000}, {"encoder.ttl", 64}})) << "no secret shown";
    EXPECT_EQ(doc["reboot_pending"], true);

    ASSERT_EQ(statusOf(post(box, {{"settings", {{"encoder", {{"ttl", 64}}}}}})), "200");
    EXPECT_EQ(documentOf(box.state())["pending"], json({"wifi.passphrase", "encoder.bitrate"}));

    // A template swap puts back the header the template holds (the bit rate
    // as it started): the template and what still differs wait.
    ASSERT_EQ(statusOf(post(box, {{"codec_template", "mp3"}})), "200");
    doc = documentOf(box.state());
    EXPECT_EQ(doc["codec_template"], "mp3");
    EXPECT_EQ(doc["pending"], json({"codec_template", "wifi.passphrase"}));
    EXPECT_EQ(doc["reboot_pending"], true);

    // After the next start nothing waits.
    start(box, 2, 30);
    doc = documentOf(box.state());
    EXPECT_EQ(doc["pending"], json::array());
    EXPECT_EQ(doc["reboot_pending"], false);
}

// How a trial ends: nobody confirms it, a client keeps the settings, or a
// client goes back before the deadline.
enum class Ending { NotConfirmed, Kept, GoneBack };

struct TrialCase {
    const char* name;
    Ending ending;
};

class Trials : public ::testing::TestWithParam<TrialCase> {};

TEST_P(Trials, GoBackUnlessConfirmedInTime) {
    Sandbox box;
    layOut(box);
    start(box, 1, 100);
    const auto ran = settingsFiles(box);
    const sandbox::Reply restart =
        post(box, {{"settings", {{"network", {{"netmask", "255.255.0.0"}}}}}, {"restart", {{"confirm_within", 10}}}});
    ASSERT_EQ(statusOf(restart), "202") << restart.out;
    EXPECT_EQ(answerOf(restart), json({{"restarting", true}, {"confirm_within", 10}}));
    EXPECT_EQ(box.count("reboot"), 1);
    const auto tried = settingsFiles(box);
    EXPECT_NE(tried, ran);

    start(box, 2, 5);
    EXPECT_EQ(documentOf(box.state())["trial"], json({{"seconds_left", 10}}));
    box.write("/proc/uptime", "9.00 1.00\n");
    EXPECT_EQ(documentOf(box.state())["trial"], json({{"seconds_left", 6}}));
    const Ending ending = GetParam().ending;
    if (ending == Ending::Kept) {
        const sandbox::Reply confirm = post(box, {{"confirm", true}});
        ASSERT_EQ(statusOf(confirm), "200") << confirm.out;
        EXPECT_FALSE(answerOf(confirm)["state"].contains("trial"));
    } else if (ending == Ending::GoneBack) {
        const sandbox::Reply goBack = post(box, {{"confirm", false}});
        ASSERT_EQ(statusOf(goBack), "202") << goBack.out;
        EXPECT_EQ(answerOf(goBack), json({{"restarting", true}, {"rolled_back", {{"settings", {"network.netmask"}}}}}));
        EXPECT_EQ(box.count("reboot"), 2) << "restarts at once, before the deadline";
    }
    box.write("/proc/uptime", "16.00 1.00\n");
    if (ending == Ending::Kept) {
        std::this_thread::sleep_for(std::chrono::seconds(2));
        EXPECT_EQ(settingsFiles(box), tried);
        EXPECT_EQ(box.count("reboot"), 1);
        return;
    }
    ASSERT_TRUE(waitFor([&] { return box.count("reboot") == 2; })) << "no going back after the deadline";
    if (ending == Ending::GoneBack) {
        std::this_thread::sleep_for(std::chrono::seconds(2));
        EXPECT_EQ(box.count("reboot"), 2) << "the countdown ended with the trial";
    }
    EXPECT_EQ(settingsFiles(box), ran) << "every file as the device ran it before the trial";
    const json doc = documentOf(box.state());
    EXPECT_FALSE(doc.contains("trial"));
    EXPECT_EQ(doc["rolled_back"], json({{"settings", {"network.netmask"}}}));
    ASSERT_EQ(statusOf(post(box, {{"settings", {{"encoder", {{"ttl", 33}}}}}})), "200");
    EXPECT_FALSE(documentOf(box.state()).contains("rolled_back")) << "shown until the next change set";
}

INSTANTIATE_TEST_SUITE_P(Restart, Trials,
                         ::testing::Values(TrialCase{"not_confirmed", Ending::NotConfirmed},
                                           TrialCase{"confirmed", Ending::Kept},
                                           TrialCase{"gone_back_on_request", Ending::GoneBack}),
                         [](const auto& info) { return std::string(info.param.name); });

// webcfg-boot killed at any moment while it goes back (a power cut): the
// next start undoes the half-done change and goes back again, without a
// new countdown, to every file the device ran before the trial.
TEST(Restart, AGoingBackKilledAtAnyMomentIsFinishedAtTheNextStart) {
    Sandbox box;
    box.leakChecks = false;
    layOut(box);
    start(box, 1, 100);
    const auto ran = settingsFiles(box);
    ASSERT_EQ(statusOf(post(box, {{"settings", {{"network", {{"gateway", "192.168.1.254"}}},
                                                {"encoder", {{"bitrate", 3000000}}},
                                                {"subtitle", {{"text", "trial 2"}}}}},
                                  {"restart", {{"confirm_within", 600}}}})),
              "202");
    // The power went as the going back began: the trial says so.
    std::string trial = *box.read("/mnt/.webcfg-trial");
    trial.replace(trial.find("state counting"), 14, "state rolling-back");
    box.write("/mnt/.webcfg-trial", trial);
    const auto cut = statetest::filesUnder(box);
    const auto layBack = [&] {
        for (const auto& [path, content] : statetest::filesUnder(box))
            if (!cut.count(path)) box.remove(path);
        for (const auto& [path, content] : cut) box.write(path, content);
        box.write("/proc/sys/kernel/random/boot_id", bootId(2) + "\n");
    };
    sandbox::Request startUp;
    startUp.bootProgram = true;
    layBack();
    const auto began = std::chrono::steady_clock::now();
    ASSERT_EQ(box.run(startUp).exitCode, 0);
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - began);
    ASSERT_EQ(settingsFiles(box), ran);
    std::mt19937 random(20261208);
    int cutShort = 0, halfDone = 0;
    for (int i = 0; i < 60; ++i) {
        layBack();
        box.runAndKill(startUp, std::chrono::microseconds(random() % (took.count() * 5 / 4 + 1)));
        cutShort += box.exists("/mnt/.webcfg-trial");
        halfDone += box.exists("/mnt/.webcfg-journal");
        start(box, 3, 5);
        ASSERT_EQ(settingsFiles(box), ran) << "kill " << i;
        ASSERT_FALSE(box.exists("/mnt/.webcfg-trial")) << "kill " << i << ": no new countdown";
    }
    std::printf("60 kills of a going back: %d cut it short, %d of them with files half put back\n", cutShort,
                halfDone);
    EXPECT_GT(cutShort, 0);
}

// A device without a real-time clock starts in 1970, so every file looks
// changed after the boot: the boot's identity decides instead.
TEST(Restart, RebootPendingTrustsTheBootIdentityNotTheClock) {
    Sandbox box;
    layOut(box);
    box.write("/proc/stat", "cpu 1 2 3\nbtime 0\n");
    box.write("/proc/sys/kernel/random/boot_id", bootId(1) + "\n");
    EXPECT_EQ(documentOf(box.state())["reboot_pending"], false);
    box.post(sandbox::Fields{{"ttl_submit", ""}, {"ttl", "40"}});
    EXPECT_EQ(documentOf(box.state())["reboot_pending"], true);
    box.write("/proc/sys/kernel/random/boot_id", bootId(2) + "\n");
    EXPECT_EQ(documentOf(box.state())["reboot_pending"], false);
}

// A boot time and file times past 2038-01-19, beyond a 32-bit time: the
// armhf programs run this too.
TEST(Restart, RebootPendingHoldsPast2038) {
    constexpr long long kBoot = 2200000000LL;  // 2039-09-18
    Sandbox box;
    layOut(box);
    box.remove("/proc/sys/kernel/random/boot_id");
    box.write("/proc/stat", "cpu 1 2 3\nbtime " + std::to_string(kBoot) + "\n");
    const auto stamp = [&](long long seconds) {
        for (const auto& [path, content] : statetest::filesUnder(box)) {
            const timespec times[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
            ASSERT_EQ(0, ::utimensat(AT_FDCWD, box.hostPath(path).c_str(), times, 0)) << path;
        }
    };
    stamp(kBoot - 100);
    EXPECT_EQ(documentOf(box.state())["reboot_pending"], false) << "every file older than the boot";
    stamp(kBoot + 100);
    EXPECT_EQ(documentOf(box.state())["reboot_pending"], true) << "files changed after the boot";
}

}  // namespace
