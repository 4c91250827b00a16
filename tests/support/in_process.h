// For unit tests of code that touches appliance files and prints replies:
// a fresh root as the working directory (the unit tests use the "." root),
// stub sync/reboot first on PATH, and capture of what is printed.
#pragma once

#include <optional>
#include <string>

namespace sandbox {

class InProcessRoot {
public:
    InProcessRoot();
    ~InProcessRoot();
    InProcessRoot(const InProcessRoot&) = delete;
    InProcessRoot& operator=(const InProcessRoot&) = delete;

    std::string hostPath(const std::string& appliancePath) const;
    void write(const std::string& appliancePath, const std::string& content);
    std::optional<std::string> read(const std::string& appliancePath) const;

    // Starts capturing standard output; takeOutput() ends it and returns it.
    void captureOutput();
    std::string takeOutput();

private:
    std::string dir_;
    std::string oldCwd_;
    std::string oldPath_;
    int savedStdout_ = -1;
};

}  // namespace sandbox
