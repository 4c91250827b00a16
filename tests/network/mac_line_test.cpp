// The MAC command and the pending change line it carries the address in.
#include <gtest/gtest.h>

#include "dispatch/cgic.h"
#include "network/network.h"
#include "settings/settings.h"
#include "support/temp_root.h"

namespace {

using MacLine = support::TempRoot;

// A line left by an earlier command must not stand in for a value that
// does not fit.
TEST_F(MacLine, ValueTooLongForTheLineIsNeverTakenForAnOlderLine) {
    settings::setPendingLine("02:00:00:00:00:01");
    form::install({{"mac_submit", ""}, {"mac", std::string(256, 'a')}});
    testing::internal::CaptureStdout();
    network::cmdMacAddress(0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "set mac=" + std::string(256, 'a') +
                  "\nmac's length is illegal\n"
                  "set failed, please check your typed mac address and try again!\n");
    EXPECT_EQ(read("/mnt/mac.sh"), std::nullopt);
    settings::clearPendingLine();
}

}  // namespace
