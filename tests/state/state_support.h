// What the state program's tests share: the laid-out appliance, and how
// a JSON reply and the files under /mnt are read.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "support/appliance.h"

namespace statetest {

using nlohmann::json;

inline const std::string kJsonHeaders = "Content-Type: application/json; charset=utf-8\r\nCache-Control: no-store\r\n";

// The body of a state reply whose headers are the plain 200 ones (a
// document's ETag after them).
inline json documentOf(const sandbox::Reply& reply) {
    EXPECT_EQ(reply.out.compare(0, kJsonHeaders.size(), kJsonHeaders), 0) << reply.out.substr(0, 200);
    const std::size_t end = reply.out.find("\r\n\r\n");
    return json::parse(reply.out.substr(end == std::string::npos ? reply.out.size() : end + 4));
}

// The ETag header's value; empty without one.
inline std::string etagOf(const sandbox::Reply& reply) {
    const std::size_t at = reply.out.find("\r\nETag: ");
    if (at == std::string::npos || at > reply.out.find("\r\n\r\n")) return "";
    return reply.out.substr(at + 8, reply.out.find("\r\n", at + 2) - at - 8);
}

inline void layOut(sandbox::Sandbox& box) {
    sandbox::layOutAppliance(box);
    box.write("/mnt/m.ini", "1 10 20 300 200 0 5 6 7 8");
    box.write("/mnt/zk.ini", "1 0 0 \xA3\xC1");
    box.write("/mnt/zhiti.ini", "0");
    box.write("/mnt/mac.sh", "ifconfig eth0 hw ether 02:00:00:00:00:01\n");
}

// A change set posted to the state program.
inline sandbox::Request setRequest(const std::string& body, const std::string& ifMatch = "",
                            const std::string& type = "application/json") {
    sandbox::Request r;
    r.method = "POST";
    r.stateProgram = true;
    r.contentType = type;
    r.body = body;
    if (!ifMatch.empty()) r.variables.push_back("HTTP_IF_MATCH=" + ifMatch);
    return r;
}

// The status a reply's Status line gives; empty without one.
inline std::string statusOf(const sandbox::Reply& reply) {
    if (reply.out.compare(0, 8, "Status: ") != 0) return "";
    return reply.out.substr(8, 3);
}

// The JSON body after a reply's headers.
inline json answerOf(const sandbox::Reply& reply) {
    const std::size_t end = reply.out.find("\r\n\r\n");
    return json::parse(reply.out.substr(end == std::string::npos ? reply.out.size() : end + 4), nullptr, false);
}

// Every regular file under /mnt, by appliance path, with its bytes.
inline std::map<std::string, std::string> filesUnder(const sandbox::Sandbox& box) {
    std::map<std::string, std::string> all;
    const std::string root = box.hostPath("");
    for (const auto& entry : std::filesystem::recursive_directory_iterator(box.hostPath("/mnt")))
        if (entry.is_regular_file()) {
            const std::string path = entry.path().string().substr(root.size());
            all[path] = *box.read(path);
        }
    return all;
}

}  // namespace statetest
