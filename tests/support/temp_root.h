// A gtest fixture over InProcessRoot, for unit tests whose every case
// wants a fresh root.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "support/in_process.h"

namespace support {

class TempRoot : public ::testing::Test {
protected:
    void SetUp() override { root_.emplace(); }
    void TearDown() override { root_.reset(); }

    // Paths are appliance paths such as "/mnt/m.ini".
    void write(const std::string& path, const std::string& content) { root_->write(path, content); }
    std::optional<std::string> read(const std::string& path) const { return root_->read(path); }

private:
    std::optional<sandbox::InProcessRoot> root_;
};

}  // namespace support
