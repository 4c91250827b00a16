// The MAC address command, through the program.
#include <gtest/gtest.h>

#include <unistd.h>

#include <optional>
#include <string>

#include "support/sandbox.h"

namespace {

const std::string kHeader = sandbox::kHeader;
using sandbox::Sandbox;

const std::string kOld = "ifconfig eth0 hw ether 00:11:22:33:44:55\n";
const std::string kLength = "mac's length is illegal\n";
const std::string kFailed = "set failed, please check your typed mac address and try again!\n";

TEST(MacAddress, AddressIsCheckedThenWrittenAsTyped) {
    struct Case {
        const char* name;
        std::string typed;
        std::string lines;  // after "set mac=..."
        bool written;
    } cases[] = {
        {"lower case", "0a:1b:2c:3d:4e:5f", "mac check pass...\nset ok\n", true},
        {"upper case", "0A:1B:2C:3D:4E:5F", "mac check pass...\nset ok\n", true},
        {"mixed case", "aA:cD:eF:09:Fa:bc", "mac check pass...\nset ok\n", true},
        // Well formed, but no address of one interface.
        {"group address", "01:00:5e:00:00:01", "", false},
        {"group address in capitals", "FF:FF:FF:FF:FF:FF", "", false},
        {"all zeros", "00:00:00:00:00:00", "", false},
        {"hyphens", "0a-1b-2c-3d-4e-5f", kFailed, false},
        {"no separators", "0a1b2c3d4e5f", kLength + kFailed, false},
        {"colon at the end", "0a:1b:2c:3d:4e5f:", kFailed, false},
        {"colon at the start", ":0a:1b:2c:3d:4e5f", kFailed, false},
        {"short last group", "0a:1b:2c:3d:4e:5:", kFailed, false},
        {"letter beyond F", "0a:1b:2c:3d:4e:5G", kFailed, false},
        {"letter beyond F first", "g0:1b:2c:3d:4e:5f", kFailed, false},
        {"18 characters", "0a:1b:2c:3d:4e:5f0", kLength + kFailed, false},
        {"as long as the line can carry", std::string(255, 'a'), kLength + kFailed, false},
        {"longer than the line can carry", std::string(256, 'a'), kLength + kFailed, false},
        {"longest field", std::string(1023, ':'), kLength + kFailed, false},
        {"shell text", "$(reboot):1b:2c:3", kFailed, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox box;
        box.write("/mnt/mac.sh", kOld);
        auto reply = box.post({{"mac_submit", ""}, {"mac", c.typed}});
        EXPECT_EQ(reply.out, c.lines.empty() ? kHeader + "error value"
                                             : kHeader + "set mac=" + c.typed + "\n" + c.lines);
        EXPECT_EQ(box.read("/mnt/mac.sh"),
                  c.written ? "ifconfig eth0 hw ether " + c.typed + "\n" : kOld);
        EXPECT_EQ(box.count("sync"), c.written ? 2 : 0);
        EXPECT_EQ(box.count("reboot"), 0);
    }
}

TEST(MacAddress, ScriptIsCreatedWhenMissing) {
    Sandbox box;
    box.post({{"mac_submit", ""}, {"mac", "02:00:00:00:00:01"}});
    EXPECT_EQ(box.read("/mnt/mac.sh"), "ifconfig eth0 hw ether 02:00:00:00:00:01\n");
}

TEST(MacAddress, FieldConventionComesFirst) {
    const std::pair<std::optional<std::string>, std::string> cases[] = {
        {std::string(1024, 'a'), "error len"},
        {std::string(), "input empty"},
        {std::nullopt, ""},
    };
    for (const auto& [value, body] : cases) {
        SCOPED_TRACE(body);
        Sandbox box;
        sandbox::Fields fields = {{"mac_submit", ""}};
        if (value) fields.emplace_back("mac", *value);
        EXPECT_EQ(box.post(fields).out, kHeader + body);
        EXPECT_FALSE(box.exists("/mnt/mac.sh"));
    }
}

TEST(MacAddress, UnwritableScriptIsReported) {
    Sandbox box;
    ASSERT_EQ(0, ::symlink("missing/mac.sh", box.hostPath("/mnt/mac.sh").c_str()));
    auto reply = box.post({{"mac_submit", ""}, {"mac", "02:00:00:00:00:01"}});
    EXPECT_EQ(reply.out,
              kHeader + "set mac=02:00:00:00:00:01\nmac check pass...\nCan't open file\n");
    EXPECT_EQ(box.count("sync"), 0);
}

}  // namespace
