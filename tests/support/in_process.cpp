#include "support/in_process.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace sandbox {

InProcessRoot::InProcessRoot() {
    std::string tmpl = (fs::temp_directory_path() / "webcfg-unit-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    dir_ = tmpl;
    fs::create_directories(dir_ + "/root/mnt/wifi");
    fs::create_directories(dir_ + "/root/tmp");
    fs::create_directories(dir_ + "/bin");
    for (const char* stub : {"sync", "reboot"}) {
        std::string file = dir_ + "/bin/" + stub;
        std::ofstream(file) << "#!/bin/sh\nexit 0\n";
        ::chmod(file.c_str(), 0755);
    }
    oldCwd_ = fs::current_path().string();
    const char* path = std::getenv("PATH");
    oldPath_ = path ? path : "/usr/bin:/bin";
    ::setenv("PATH", (dir_ + "/bin:" + oldPath_).c_str(), 1);
    fs::current_path(dir_ + "/root");
}

InProcessRoot::~InProcessRoot() {
    if (savedStdout_ >= 0) takeOutput();
    fs::current_path(oldCwd_);
    ::setenv("PATH", oldPath_.c_str(), 1);
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

std::string InProcessRoot::hostPath(const std::string& appliancePath) const {
    return dir_ + "/root" + appliancePath;
}

void InProcessRoot::write(const std::string& appliancePath, const std::string& content) {
    std::ofstream f(hostPath(appliancePath), std::ios::binary | std::ios::trunc);
    f << content;
}

std::optional<std::string> InProcessRoot::read(const std::string& appliancePath) const {
    std::ifstream f(hostPath(appliancePath), std::ios::binary);
    if (!f) return std::nullopt;
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

void InProcessRoot::captureOutput() {
    std::fflush(stdout);
    savedStdout_ = ::dup(1);
    int fd = ::open((dir_ + "/stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(fd, 1);
    ::close(fd);
}

std::string InProcessRoot::takeOutput() {
    std::fflush(stdout);
    ::dup2(savedStdout_, 1);
    ::close(savedStdout_);
    savedStdout_ = -1;
    std::ifstream f(dir_ + "/stdout", std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

}  // namespace sandbox
