// Requests that arrive together, and requests killed mid-write.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <thread>

#include "support/appliance.h"

namespace {

using sandbox::Fields;
using sandbox::Request;
using sandbox::Sandbox;

Request postOf(const Fields& fields) {
    Request r;
    r.method = "POST";
    r.contentType = "application/x-www-form-urlencoded";
    r.body = sandbox::urlencoded(fields);
    return r;
}

void layOut(Sandbox& box) {
    sandbox::layOutAppliance(box);
    box.remove("/mnt/wifi/ifwifi");
    box.write("/mnt/m.ini", "1 10 20 300 200 0 5 6 7 8");
}

TEST(Concurrency, ParallelRequestsLoseNoChange) {
    Sandbox box;
    layOut(box);
    const std::vector<Fields> changes = {
        {{"mg_xy", ""}, {"mg_x", "11"}},        {{"mg_xy", ""}, {"mg_y", "21"}},
        {{"mg_wh", ""}, {"mg_w", "301"}},       {{"mg_wh", ""}, {"mg_h", "201"}},
        {{"gx_xy", ""}, {"gx_x", "51"}},        {{"gx_xy", ""}, {"gx_y", "61"}},
        {{"gx_wh", ""}, {"gx_w", "71"}},        {{"gx_wh", ""}, {"gx_h", "81"}},
        {{"namelr_submit", ""}, {"lr", "1"}},   {{"namelg_submit", ""}, {"lg", "2"}},
        {{"namelb_submit", ""}, {"lb", "3"}},   {{"namebr_submit", ""}, {"br", "4"}},
        {{"namebg_submit", ""}, {"bg", "5"}},   {{"namebb_submit", ""}, {"bb", "6"}},
        {{"name1_submit", ""}, {"ip", "10.0.0.7"}},
        {{"name2_submit", ""}, {"netmask", "255.255.0.0"}},
        {{"name45_submit", ""}, {"gateway", "10.0.0.1"}},
        {{"namez_submit", ""}, {"tz", "10.0.0.99"}},
        {{"namec_submit", ""}, {"tc", "5000"}},
        {{"namei_submit", ""}, {"fi", "50"}},
        {{"name3_submit", ""}, {"bitrate", "3000000"}},
        {{"name4_submit", ""}, {"framerate", "30"}},
        {{"name_audio2_submit", ""}, {"audiobitrate", "128000"}},
        {{"vs_width_submit", ""}, {"vs_width", "1280"}},
        {{"vs_height_submit", ""}, {"vs_height", "720"}},
    };
    std::vector<std::thread> threads;
    std::vector<sandbox::Reply> replies(changes.size());
    for (std::size_t i = 0; i < changes.size(); ++i)
        threads.emplace_back([&, i] { replies[i] = box.run(postOf(changes[i])); });
    for (std::thread& t : threads) t.join();

    int busy = 0;
    for (const auto& reply : replies) busy += reply.out.find("busy:") != std::string::npos;
    EXPECT_EQ(busy, 0);
    EXPECT_EQ(box.read("/mnt/m.ini"), "1 11 21 301 201 0 51 61 71 81");
    EXPECT_EQ(box.read("/mnt/color.ini"), "6 5 4 3 2 1");
    const std::string expected =
        "ip=10.0.0.7\nnetmask=255.255.0.0\ngateway=10.0.0.1\nexport GW=$gateway\n"
        "tz=10.0.0.99\ntc=5000\nfi=50\nctrlencode=1\nctrlcodec=1\nbitrate=3000000\n"
        "framerate=30\naudiosample=44100\naudiobps=128000\nwidth=1280\nheight=720\n"
        "url=rtmp://192.168.18.7/live/kovra\nend" + sandbox::kEncoderStart;
    EXPECT_EQ(box.read("/mnt/autorun.sh"), expected);
    int lost = (box.read("/mnt/m.ini") != "1 11 21 301 201 0 51 61 71 81") +
               (box.read("/mnt/color.ini") != "6 5 4 3 2 1") +
               (box.read("/mnt/autorun.sh") != expected);
    std::printf("parallel requests: %zu run at once, %d files with lost changes\n",
                changes.size(), lost);
}

TEST(Concurrency, RequestThatCannotGetTheLockActsOnNothing) {
    Sandbox box;
    layOut(box);
    // Hold the lock from outside, as a long request would.
    int fd = ::open(box.hostPath("/mnt").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    std::thread release([fd] {
        std::this_thread::sleep_for(std::chrono::seconds(11));
        ::close(fd);
    });
    auto reply = box.post({{"mg_xy", ""}, {"mg_x", "99"}});
    release.join();
    EXPECT_EQ(reply.out, sandbox::kHeader +
                             std::string("busy: another request is changing the settings, "
                                         "nothing was done\n"));
    EXPECT_EQ(box.read("/mnt/m.ini"), "1 10 20 300 200 0 5 6 7 8");
}

struct WriteKind {
    const char* name;
    Fields request;
    const char* path;
    std::string before;
    std::string after;
};

// Every file the program rewrites whole, killed at random moments of the
// request that rewrites it: each must read as its whole old or whole new
// content afterwards.
TEST(Concurrency, KilledWritesLeaveOldOrNewFiles) {
    const WriteKind kinds[] = {
        {"overlay window", {{"gx_wh", ""}, {"gx_w", "640"}}, "/mnt/m.ini",
         "1 10 20 300 200 0 5 6 7 8", "1 10 20 300 200 0 5 6 640 8"},
        {"subtitle", {{"s_x_submit", ""}, {"s_x", "12"}}, "/mnt/zk.ini", "1 0 0 \xA3\xC1",
         "1 12 0 \xA3\xC1"},
        {"font", {{"sub_z_submit", ""}, {"sub_z", "male"}}, "/mnt/zhiti.ini", "0", "1"},
        {"mixer state", {{"name_volume_submit", ""}, {"volume", "55"}}, "/mnt/asound.state",
         sandbox::mixerState("80", "80"), sandbox::mixerState("55", "55")},
        {"colour", {{"namelb_submit", ""}, {"lb", "9"}}, "/mnt/color.ini", "128 0 0 0 0 0",
         "128 0 0 9 0 0"},
        {"network block", {{"ssid_submit", ""}, {"ssid", "lab"}}, "/mnt/wifi/wpa.conf",
         sandbox::networkBlock("\"studio\"", "\"s3cret-pass\""),
         sandbox::networkBlock("\"lab\"", "\"s3cret-pass\"")},
        {"wifi address", {{"wifi_ip_submit", ""}, {"wifi_ip", "10.1.1.1"}},
         "/mnt/wifi/wifi_ip.conf", "ifconfig wlan0 192.168.0.9\n", "ifconfig wlan0 10.1.1.1\n"},
        {"mac script", {{"mac_submit", ""}, {"mac", "00:11:22:33:44:55"}}, "/mnt/mac.sh",
         "ifconfig eth0 hw ether 02:00:00:00:00:01\n", "ifconfig eth0 hw ether 00:11:22:33:44:55\n"},
        {"ttl", {{"ttl_submit", ""}, {"ttl", "32"}}, "/mnt/ttl.ini", "64", "32"},
        {"idr", {{"nameidr_submit", ""}, {"idr", "25"}}, "/mnt/idr.ini", "50", "25"},
        {"level", {{"encst_submit", ""}, {"menu_encst", "31"}}, "/mnt/kovra_encLevel.ini", "40\n",
         "31\n"},
        {"maximum delay", {{"cvbr_submit", ""}, {"cvbr", "12"}}, "/mnt/kovra_maxdelay.ini", "5\n",
         "12\n"},
        {"format", {{"name29_submit", ""}, {"menu_set_vga_mode", "23"}}, "/mnt/format.ini", "1 9",
         "1 23"},
        {"input type", {{"name129_submit", ""}, {"menu_set_signal_mode", "3"}}, "/mnt/mk120.ini",
         "2", "3"},
        {"boot script", {{"name4_submit", ""}, {"framerate", "50"}}, "/mnt/autorun.sh",
         sandbox::bootScript(), sandbox::bootScript()},
    };
    std::mt19937 rng(99);
    int killed = 0, runs = 0, torn = 0;
    for (WriteKind kind : kinds) {
        SCOPED_TRACE(kind.name);
        if (std::string(kind.path) == "/mnt/autorun.sh") {
            std::size_t at = kind.after.find("framerate=25");
            kind.after.replace(at, 12, "framerate=50");
        }
        Sandbox box;
        layOut(box);
        box.write("/mnt/mac.sh", "ifconfig eth0 hw ether 02:00:00:00:00:01\n");
        box.write("/mnt/zk.ini", "1 0 0 \xA3\xC1");
        box.write("/mnt/zhiti.ini", "0");
        box.write(kind.path, kind.before);
        const Request request = postOf(kind.request);
        const auto start = std::chrono::steady_clock::now();
        box.run(request);
        const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now() - start);
        ASSERT_EQ(box.read(kind.path), kind.after);
        for (int round = 0; round < 12; ++round) {
            box.write(kind.path, kind.before);
            auto reply =
                box.runAndKill(request, std::chrono::microseconds(rng() % (whole.count() + 1)));
            ++runs;
            killed += reply.exitCode == -SIGKILL;
            std::optional<std::string> now = box.read(kind.path);
            bool whole = now == kind.before || now == kind.after;
            torn += !whole;
            EXPECT_TRUE(whole) << "round " << round;
        }
        // Kills leave at most the one temporary file the next write reuses.
        const std::filesystem::path target = box.hostPath(kind.path);
        int temporaries = 0;
        for (const auto& entry : std::filesystem::directory_iterator(target.parent_path()))
            temporaries += entry.path().filename().string().rfind(
                               "." + target.filename().string(), 0) == 0;
        EXPECT_LE(temporaries, 1);
    }
    std::printf("killed writes: %d of %d runs killed, %d torn files\n", killed, runs, torn);
    EXPECT_GT(killed, runs / 4);
}

// Every file under the root, by its path.
std::map<std::string, std::string> filesOf(const Sandbox& box) {
    std::map<std::string, std::string> files;
    const std::filesystem::path root = box.hostPath("");
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files[entry.path().lexically_relative(root).string()] =
                *box.read("/" + entry.path().lexically_relative(root).string());
    return files;
}

// The signals a web server sends when its client has gone, at moments
// spread over a codec form: the program either ends before the command
// list starts (nothing changed) or finishes the list and its reply first.
TEST(Concurrency, TerminationSignalsWaitForTheCommandListToEnd) {
    constexpr int kMoments = 8;
    const Request codecForm = postOf({{"codec_submit", ""}, {"ctrlts", "female"},
                                      {"selvs", "male"}, {"ctrlau", "female"},
                                      {"ctrlax", "female"}, {"ctrlaz", "amale"},
                                      {"ifwifi", "male"}, {"ctrldz", "female"},
                                      {"ctrlez", "female"}, {"ctrlbz", "amale"},
                                      {"ctrlcz", "female"}, {"audioen", "male"},
                                      {"audioin", "male"}});
    Sandbox reference;
    sandbox::layOutAppliance(reference);
    const auto before = filesOf(reference);
    const auto start = std::chrono::steady_clock::now();
    const std::string wholeReply = reference.run(codecForm).out;
    const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);
    const auto after = filesOf(reference);
    ASSERT_NE(before, after);

    int finishedAfterSignal = 0;
    for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
        for (int i = 0; i < kMoments; ++i) {
            SCOPED_TRACE(std::string(strsignal(signal)) + ", moment " + std::to_string(i));
            Sandbox box;
            sandbox::layOutAppliance(box);
            const auto reply =
                box.runAndSignal(codecForm, whole * (2 * i + 1) / (2 * kMoments), signal);
            const auto files = filesOf(box);
            if (files == before) continue;  // ended before the list started
            EXPECT_EQ(files, after);
            EXPECT_EQ(reply.out, wholeReply);
            finishedAfterSignal += reply.exitCode == -signal;
        }
    }
    // Some signals must have arrived while the list was running.
    EXPECT_GT(finishedAfterSignal, 0);
}

}  // namespace
