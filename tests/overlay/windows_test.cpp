// The overlay window commands, through the program.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "support/sandbox.h"

namespace {

using sandbox::Fields;
const std::string kHeader = sandbox::kHeader;
using sandbox::Sandbox;

const std::string kFile = "1 10 20 300 200 0 5 6 7 8";

std::string report(const std::string& mg, const std::string& gx, int x, int y, int w, int h,
                   int gxX, int gxY, int gxW, int gxH) {
    return "mg " + mg + "\ngx " + gx + "\nmg x=" + std::to_string(x) +
           "\nmg y=" + std::to_string(y) + "\n\nmg width=" + std::to_string(w) +
           "\n mg height=" + std::to_string(h) + "\n\ngx x=" + std::to_string(gxX) +
           "\ngx y=" + std::to_string(gxY) + "\n\ngx width=" + std::to_string(gxW) +
           "\n gx height=" + std::to_string(gxH) + "\n";
}

TEST(Overlay, ReportShowsBothWindows) {
    struct Case {
        const char* name;
        std::string file;
        std::string body;
    } cases[] = {
        {"plain file", kFile, report("enable", "disable", 10, 20, 300, 200, 5, 6, 7, 8)},
        {"trailing newline and values that are no plain numbers",
         "7 12abc abc -3 200 2 5 6 7 8\n",
         report("enable", "enable", 12, 0, -3, 200, 5, 6, 7, 8)},
        {"runs of spaces count as one", "0  1 2 3 4 0 5 6 7 8",
         report("disable", "disable", 1, 2, 3, 4, 5, 6, 7, 8)},
        {"fewer than ten values read as 0", "1 10 20",
         report("enable", "disable", 10, 20, 0, 0, 0, 0, 0, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox box;
        box.write("/mnt/m.ini", c.file);
        EXPECT_EQ(box.post("mg_gx=").out, kHeader + c.body);
        EXPECT_EQ(box.read("/mnt/m.ini"), c.file);
        EXPECT_TRUE(box.calls().empty());
    }
}

TEST(Overlay, SwitchesRewriteTheirField) {
    struct Case {
        const char* query;
        std::string body;
        std::string file;
    } cases[] = {
        {"mg_a_submit=&mg_a=female", "mg enable\n", kFile},
        {"mg_a_submit=&mg_a=male", "mg disable\n", "0 10 20 300 200 0 5 6 7 8"},
        {"gx_a_submit=&gx_a=female", "gx enable\n", "1 10 20 300 200 1 5 6 7 8"},
        {"gx_a_submit=&gx_a=male", "gx disable\n", kFile},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        Sandbox box;
        box.write("/mnt/m.ini", kFile);
        EXPECT_EQ(box.post(c.query).out, kHeader + c.body);
        EXPECT_EQ(box.read("/mnt/m.ini"), c.file);
        EXPECT_EQ(box.count("sync"), 1);
    }
}

// Hand-written files with extra spaces: an edit changes the field the
// report shows and keeps every other byte.
TEST(Overlay, EditsFindTheFieldTheReportShows) {
    const struct {
        std::string before;
        const char* query;
        std::string after;
    } cases[] = {
        {" 0 10 20 300 200 0 5 6 7 8", "mg_a_submit=&mg_a=female", " 1 10 20 300 200 0 5 6 7 8"},
        {"1  10 20  300 200 0 5 6 7 8\n", "mg_wh=&mg_w=640&mg_h=480",
         "1  10 20  640 480 0 5 6 7 8\n"},
        {"1 10 20 300 200  0   5 6 7 8", "gx_a_submit=&gx_a=female", "1 10 20 300 200  1   5 6 7 8"},
        {"  1 10 20 300 200 0 5 6 7  8", "gx_wh=&gx_h=90", "  1 10 20 300 200 0 5 6 7  90"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before + " / " + c.query);
        Sandbox box;
        box.write("/mnt/m.ini", c.before);
        box.post(c.query);
        EXPECT_EQ(box.read("/mnt/m.ini"), c.after);
    }
}

TEST(Overlay, SwitchWithoutAChoiceDoesNothing) {
    for (const char* query : {"mg_a_submit=", "mg_a_submit=&mg_a=amale", "gx_a_submit=&gx_a=Female"}) {
        SCOPED_TRACE(query);
        Sandbox box;
        box.write("/mnt/m.ini", "0 1 2 3 4 0 5 6 7 8");
        EXPECT_EQ(box.post(query).out, kHeader);
        EXPECT_EQ(box.read("/mnt/m.ini"), "0 1 2 3 4 0 5 6 7 8");
        EXPECT_TRUE(box.calls().empty());
    }
}

TEST(Overlay, PairsReplaceTheirTwoFields) {
    struct Case {
        const char* name;
        std::string before;
        Fields fields;
        std::string body;
        std::string after;
    } cases[] = {
        {"second window position", kFile,
         {{"gx_xy", ""}, {"gx_x", "640"}, {"gx_y", "480"}}, "set x=640,y=480\n",
         "1 10 20 300 200 0 640 480 7 8"},
        {"longer and shorter values shift the rest", kFile,
         {{"mg_wh", ""}, {"mg_w", "1920"}, {"mg_h", "9"}}, "set w=1920,h=9\n",
         "1 10 20 1920 9 0 5 6 7 8"},
        {"first window position", kFile, {{"mg_xy", ""}, {"mg_x", "0"}, {"mg_y", "9999"}},
         "set x=0,y=9999\n", "1 0 9999 300 200 0 5 6 7 8"},
        {"last field takes the trailing newline with it", kFile + "\n",
         {{"gx_wh", ""}, {"gx_w", "70"}, {"gx_h", "80"}}, "set w=70,h=80\n",
         "1 10 20 300 200 0 5 6 70 80"},
        {"other bytes stay as they were", "1 10 20 300 200 0 5 6 7 8\n\n",
         {{"mg_xy", ""}, {"mg_x", "3"}, {"mg_y", "4"}}, "set x=3,y=4\n",
         "1 3 4 300 200 0 5 6 7 8\n\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox box;
        box.write("/mnt/m.ini", c.before);
        EXPECT_EQ(box.post(c.fields).out, kHeader + c.body);
        EXPECT_EQ(box.read("/mnt/m.ini"), c.after);
        EXPECT_EQ(box.count("sync"), 2);
    }
}

TEST(Overlay, ReportShowsTheStoredTextAsNumbers) {
    Sandbox box;
    box.write("/mnt/m.ini", "1 12abc abc 300 200 0 5 6 7 8");
    EXPECT_EQ(box.post("mg_gx=").out,
              kHeader + report("enable", "disable", 12, 0, 300, 200, 5, 6, 7, 8));
}

// The report comes first in the list, so it shows the file before a change
// of the same request.
TEST(Overlay, ReportInTheSameRequestShowsTheOldWindows) {
    Sandbox box;
    box.write("/mnt/m.ini", kFile);
    auto reply = box.post({{"gx_wh", ""}, {"gx_w", "1"}, {"gx_h", "2"}, {"mg_gx", ""}});
    EXPECT_EQ(reply.out, kHeader + report("enable", "disable", 10, 20, 300, 200, 5, 6, 7, 8) +
                             "set w=1,h=2\n");
    EXPECT_EQ(box.read("/mnt/m.ini"), "1 10 20 300 200 0 5 6 1 2");
}

// Nothing is written whenever a message other than the reply is printed.
TEST(Overlay, RefusedPairsLeaveTheFileAlone) {
    const std::string tooLong(1024, '7');
    struct Case {
        const char* name;
        Fields fields;
        std::string body;
    } cases[] = {
        {"too long wins over empty", {{"mg_wh", ""}, {"mg_w", tooLong}, {"mg_h", ""}}, "error len"},
        {"too long second", {{"mg_wh", ""}, {"mg_w", ""}, {"mg_h", tooLong}}, "error len"},
        {"empty first", {{"mg_wh", ""}, {"mg_w", ""}, {"mg_h", "5"}}, "input empty"},
        {"empty second beside an absent first", {{"gx_xy", ""}, {"gx_y", ""}}, "input empty"},
        {"both absent", {{"gx_wh", ""}}, ""},
        // Numbers of 0 to 9999 in digits, nothing else.
        {"value with a space", {{"gx_xy", ""}, {"gx_x", "6 px"}, {"gx_y", "480"}}, "error char"},
        {"value beginning with a space", {{"mg_xy", ""}, {"mg_x", " 7"}, {"mg_y", "9"}},
         "error char"},
        {"negative value", {{"mg_xy", ""}, {"mg_x", "-4"}, {"mg_y", "12"}}, "error char"},
        {"letters after the digits", {{"mg_xy", ""}, {"mg_x", "4"}, {"mg_y", "12ab"}}, "error char"},
        {"full-width digit", {{"gx_wh", ""}, {"gx_w", "\xef\xbc\x94"}}, "error char"},
        {"five digits", {{"gx_wh", ""}, {"gx_w", "1"}, {"gx_h", "10000"}}, "error len"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox box;
        box.write("/mnt/m.ini", kFile);
        EXPECT_EQ(box.post(c.fields).out, kHeader + c.body);
        EXPECT_EQ(box.read("/mnt/m.ini"), kFile);
        EXPECT_TRUE(box.calls().empty());
    }
}

TEST(Overlay, EmptyValuesLeaveTheirFieldUnchanged) {
    struct Case {
        const char* name;
        Fields fields;
        std::string body;
        std::string after;
        int syncs;
    } cases[] = {
        {"only the first submitted", {{"mg_xy", ""}, {"mg_x", "55"}}, "set x=55,y=\n",
         "1 55 20 300 200 0 5 6 7 8", 1},
        {"only the second submitted", {{"gx_wh", ""}, {"gx_h", "99"}}, "set w=,h=99\n",
         "1 10 20 300 200 0 5 6 7 99", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox box;
        box.write("/mnt/m.ini", kFile);
        EXPECT_EQ(box.post(c.fields).out, kHeader + c.body);
        EXPECT_EQ(box.read("/mnt/m.ini"), c.after);
        EXPECT_EQ(box.count("sync"), c.syncs);
    }
}

TEST(Overlay, MissingFileIsReportedAndNotCreated) {
    struct Case {
        Fields fields;
        std::string body;
    } cases[] = {
        {{{"mg_gx", ""}}, "Can't open file\n"},
        {{{"mg_a_submit", ""}, {"mg_a", "female"}}, "mg enable\nCan't open file\n"},
        {{{"gx_a_submit", ""}, {"gx_a", "male"}}, "gx disable\nCan't open file\n"},
        {{{"mg_xy", ""}, {"mg_x", "1"}, {"mg_y", "2"}}, "set x=1,y=2\nCan't open file\n"},
        {{{"gx_wh", ""}, {"gx_w", "3"}}, "set w=3,h=\nCan't open file\n"},
        // Refused: the file is not even looked at.
        {{{"gx_xy", ""}, {"gx_x", " 3"}}, "error char"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        Sandbox box;
        EXPECT_EQ(box.post(c.fields).out, kHeader + c.body);
        EXPECT_FALSE(box.exists("/mnt/m.ini"));
        EXPECT_TRUE(box.calls().empty());
    }
}

TEST(Overlay, UnreadableFileIsReportedLikeAMissingOne) {
    Sandbox box;
    box.makeDirectory("/mnt/m.ini");
    EXPECT_EQ(box.post("mg_gx=").out, kHeader + "Can't open file\n");
    EXPECT_EQ(box.post("mg_a_submit=&mg_a=female").out, kHeader + "mg enable\nCan't open file\n");
    EXPECT_TRUE(box.calls().empty());
}

TEST(Overlay, FilesOutsideTheLayoutAreRefused) {
    const std::string ninetyNine = "1 10 20 300 200 0 5 6 7 " + std::string(75, '8');
    ASSERT_EQ(ninetyNine.size(), 99u);
    struct Case {
        const char* name;
        std::string file;
        Fields fields;
        std::string body;
        std::optional<std::string> after;  // nullopt: unchanged
    } cases[] = {
        {"report of a 100-byte file", ninetyNine + "\n", {{"mg_gx", ""}}, "error len",
         std::nullopt},
        {"switch on a 100-byte file", ninetyNine + "\n", {{"mg_a_submit", ""}, {"mg_a", "male"}},
         "error len", std::nullopt},
        {"99 bytes may stay 99 bytes", ninetyNine, {{"mg_a_submit", ""}, {"mg_a", "male"}},
         "mg disable\n", "0" + ninetyNine.substr(1)},
        {"value that would reach 100 bytes", ninetyNine,
         {{"mg_xy", ""}, {"mg_x", "100"}, {"mg_y", "20"}}, "error len", std::nullopt},
        {"second value that would reach 100 bytes", ninetyNine,
         {{"mg_xy", ""}, {"mg_x", "10"}, {"mg_y", "200"}}, "error len", std::nullopt},
        {"file without the field", "1 10 20 300 200 0 5 6",
         {{"gx_wh", ""}, {"gx_w", "1"}, {"gx_h", "2"}}, "error len", std::nullopt},
        {"file without the second field", "1 10 20 300 200 0 5 6 7",
         {{"gx_wh", ""}, {"gx_w", "1"}, {"gx_h", "2"}}, "error len", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox box;
        box.write("/mnt/m.ini", c.file);
        EXPECT_EQ(box.post(c.fields).out, kHeader + c.body);
        EXPECT_EQ(box.read("/mnt/m.ini"), c.after.value_or(c.file));
        EXPECT_EQ(box.count("sync"), c.after ? 1 : 0);
    }
}

}  // namespace
