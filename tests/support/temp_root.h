// For unit tests of code that touches appliance files: the unit tests are
// built with the root ".", so this makes a fresh directory the working
// directory, with mnt/ inside it and a stub sync first on PATH.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

namespace support {

class TempRoot : public ::testing::Test {
protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        std::string tmpl = (fs::temp_directory_path() / "webcfg-unit-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
        fs::create_directories(dir_ + "/mnt");
        fs::create_directories(dir_ + "/bin");
        std::ofstream(dir_ + "/bin/sync") << "#!/bin/sh\n";
        fs::permissions(dir_ + "/bin/sync", fs::perms::owner_all);
        oldCwd_ = fs::current_path().string();
        const char* path = std::getenv("PATH");
        oldPath_ = path ? path : "";
        ::setenv("PATH", (dir_ + "/bin:" + oldPath_).c_str(), 1);
        ASSERT_EQ(::chdir(dir_.c_str()), 0);
    }

    void TearDown() override {
        if (!oldCwd_.empty() && ::chdir(oldCwd_.c_str()) != 0) ADD_FAILURE() << "chdir back";
        ::setenv("PATH", oldPath_.c_str(), 1);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    // Paths are appliance paths such as "/mnt/m.ini".
    void write(const std::string& path, const std::string& content) {
        std::ofstream(dir_ + path, std::ios::binary) << content;
    }

    std::optional<std::string> read(const std::string& path) const {
        std::ifstream f(dir_ + path, std::ios::binary);
        if (!f) return std::nullopt;
        std::ostringstream s;
        s << f.rdbuf();
        return s.str();
    }

private:
    std::string dir_, oldCwd_, oldPath_;
};

}  // namespace support
