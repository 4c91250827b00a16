// The subtitle commands, through the program.
#include <gtest/gtest.h>

#include <unistd.h>

#include <optional>
#include <string>

#include "support/sandbox.h"

namespace {

using sandbox::Fields;
const std::string kHeader = sandbox::kHeader;
using sandbox::Sandbox;

// "中文" in UTF-8 and in GB2312.
const std::string kChineseUtf8 = "\xE4\xB8\xAD\xE6\x96\x87";
const std::string kChineseGb = "\xD6\xD0\xCE\xC4";

std::string reportOf(const std::string& enable, const std::string& font, int x, int y,
                     const std::string& text) {
    return "subtitle:" + enable + "\nfont:" + font + "\nx:" + std::to_string(x) +
           "\ny:" + std::to_string(y) + "\nsubtitle value:" + text + "\n";
}

TEST(Subtitle, TextIsStoredInWideGb2312AndReportedInUtf8) {
    struct Case {
        const char* name;
        std::string typed;
        std::optional<std::string> stored;  // nullopt: refused, the file left alone
        std::string errors;  // printed before "set ok"
        std::string report;  // what sub_v gives back, errors first
    } cases[] = {
        {"ASCII widened to full width", "Ab1", "\xA3\xC1\xA3\xE2\xA3\xB1", "",
         reportOf("enable", "big", 5, 6, "\xEF\xBC\xA1\xEF\xBD\x82\xEF\xBC\x91")},
        {"Chinese as its GB2312 bytes", kChineseUtf8, kChineseGb, "",
         reportOf("enable", "big", 5, 6, kChineseUtf8)},
        {"mixed text", "A" + kChineseUtf8, "\xA3\xC1" + kChineseGb, "",
         reportOf("enable", "big", 5, 6, "\xEF\xBC\xA1" + kChineseUtf8)},
        {"space stored whole, reported up to it", "a b", "\xA3\xE1\xA3\xA0\xA3\xE2", "",
         "erro=-1\n" + reportOf("enable", "big", 5, 6, "\xEF\xBD\x81")},
        {"full-width punctuation as its GB2312 bytes", "\xEF\xBC\x81\xE3\x80\x80", "\xA3\xA1\xA1\xA1",
         "", reportOf("enable", "big", 5, 6, "\xEF\xBC\x81\xE3\x80\x80")},
        // What would be cut or dropped in the conversion is refused whole.
        {"first character without a GB2312 form", "\xF0\x9F\x98\x80x", std::nullopt, "", ""},
        {"later character without a GB2312 form", "x\xE2\x82\xACy", std::nullopt, "", ""},
        {"text that is no UTF-8", "ab\xFF", std::nullopt, "", ""},
        {"control character", "a\tb", std::nullopt, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox box;
        box.write("/mnt/zk.ini", "1 5 6 old");
        auto set = box.post({{"sub_submit", ""}, {"sub_text", c.typed}});
        if (!c.stored) {
            EXPECT_EQ(set.out, kHeader + "error char");
            EXPECT_EQ(box.read("/mnt/zk.ini"), "1 5 6 old");
            EXPECT_TRUE(box.calls().empty());
            continue;
        }
        EXPECT_EQ(set.out, kHeader + "set sub:" + c.typed + "\n" + c.errors + "set ok\n");
        EXPECT_EQ(box.read("/mnt/zk.ini"), "1 5 6 " + *c.stored);
        EXPECT_EQ(box.count("sync"), 2);
        EXPECT_EQ(box.post("sub_v=").out, kHeader + c.report);
    }
}

TEST(Subtitle, ChangeAndReportInOneRequestShowTheChange) {
    Sandbox box;
    box.write("/mnt/zk.ini", "0 0 0 ");
    auto reply = box.post({{"sub_v", ""},
                           {"sub_text", kChineseUtf8},
                           {"sub_submit", ""},
                           {"sub_a_submit", ""},
                           {"sub_a", "female"}});
    EXPECT_EQ(reply.out, kHeader + "subtitle enable\nset ok\nset sub:" + kChineseUtf8 +
                             "\nset ok\n" + reportOf("enable", "big", 0, 0, kChineseUtf8));
    EXPECT_EQ(box.read("/mnt/zk.ini"), "1 0 0 " + kChineseGb);
    EXPECT_EQ(box.count("sync"), 4);
}

TEST(Subtitle, NumbersReplaceOneItemAndKeepTheOthers) {
    const std::string text = "\xA3\xC1" + kChineseGb;
    struct Case {
        const char* name;
        Fields fields;
        std::string body;
        std::string after;
    } cases[] = {
        {"x", {{"s_x_submit", ""}, {"s_x", "12"}}, "set x:12\nset ok\n", "1 12 6 " + text},
        {"x with leading zeros", {{"s_x_submit", ""}, {"s_x", "0009"}}, "set x:0009\nset ok\n",
         "1 9 6 " + text},
        {"y", {{"s_y_submit", ""}, {"s_y", "9999"}}, "set y:9999\nset ok\n", "1 5 9999 " + text},
        {"switch off", {{"sub_a_submit", ""}, {"sub_a", "male"}}, "subtitle disable\nset ok\n",
         "0 5 6 " + text},
        {"switch on", {{"sub_a_submit", ""}, {"sub_a", "female"}}, "subtitle enable\nset ok\n",
         "1 5 6 " + text},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox box;
        box.write("/mnt/zk.ini", "1 5 6 " + text);
        EXPECT_EQ(box.post(c.fields).out, kHeader + c.body);
        EXPECT_EQ(box.read("/mnt/zk.ini"), c.after);
        EXPECT_EQ(box.count("sync"), 2);
    }
    // Positions are numbers of 0 to 9999 in digits.
    for (const char* refused : {"1abc", "abc", "-40", "1 2", "\xEF\xBC\x91"}) {
        SCOPED_TRACE(refused);
        Sandbox box;
        box.write("/mnt/zk.ini", "1 5 6 " + text);
        EXPECT_EQ(box.post({{"s_x_submit", ""}, {"s_x", refused}}).out, kHeader + "error char");
        EXPECT_EQ(box.read("/mnt/zk.ini"), "1 5 6 " + text);
    }
}

TEST(Subtitle, ItemsMissingFromTheFileReadAsZeroAndEmpty) {
    struct Case {
        std::string before;
        std::string after;
        std::string report;
    } cases[] = {
        {"", "0 7 0 ", reportOf("disable", "big", 0, 0, "")},
        {"1 2", "1 7 0 ", reportOf("enable", "big", 2, 0, "")},
        {"1 2 3 ", "1 7 3 ", reportOf("enable", "big", 2, 3, "")},
        {"x 2 3 \xA3\xC1", "0 7 0 ", reportOf("disable", "big", 0, 0, "")},
        {" 01\n+2\t3  \xA3\xC1\xA3\xC2 rest\n", "1 7 3 \xA3\xC1\xA3\xC2",
         reportOf("enable", "big", 2, 3, "\xEF\xBC\xA1\xEF\xBC\xA2")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before);
        Sandbox box;
        box.write("/mnt/zk.ini", c.before);
        EXPECT_EQ(box.post("sub_v=").out, kHeader + c.report);
        EXPECT_EQ(box.post("s_x_submit=&s_x=7").out, kHeader + "set x:7\nset ok\n");
        EXPECT_EQ(box.read("/mnt/zk.ini"), c.after);
    }
}

TEST(Subtitle, FontChoiceIsWrittenAndReported) {
    struct Case {
        const char* query;
        std::string body;
        std::string file;
        std::string font;
    } cases[] = {
        {"sub_z_submit=&sub_z=female", "choose the big font \n", "0", "big"},
        {"sub_z_submit=&sub_z=male", "choose the small font\n", "1", "small"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        Sandbox box;
        box.write("/mnt/zk.ini", "0 1 2 ");
        box.write("/mnt/zhiti.ini", "9 stale");
        EXPECT_EQ(box.post(c.query).out, kHeader + c.body);
        EXPECT_EQ(box.read("/mnt/zhiti.ini"), c.file);
        EXPECT_TRUE(box.calls().empty());
        EXPECT_EQ(box.post("sub_v=").out, kHeader + reportOf("disable", c.font, 1, 2, ""));
    }
}

TEST(Subtitle, FontFileIsReadByItsFirstByte) {
    const std::pair<std::optional<std::string>, const char*> cases[] = {
        {std::nullopt, "big"}, {"", "big"}, {"0", "big"}, {"x1", "big"},
        {"1", "small"},        {"7\n", "small"},
    };
    for (const auto& [file, font] : cases) {
        SCOPED_TRACE(file.value_or("(missing)"));
        Sandbox box;
        box.write("/mnt/zk.ini", "1 3 4 ");
        if (file) box.write("/mnt/zhiti.ini", *file);
        EXPECT_EQ(box.post("sub_v=").out, kHeader + reportOf("enable", font, 3, 4, ""));
        EXPECT_EQ(box.exists("/mnt/zhiti.ini"), file.has_value());
    }
}

TEST(Subtitle, RadiosWithoutAChoiceDoNothing) {
    for (const char* query : {"sub_a_submit=", "sub_a_submit=&sub_a=amale", "sub_z_submit=&sub_z=amale"}) {
        SCOPED_TRACE(query);
        Sandbox box;
        box.write("/mnt/zk.ini", "1 2 3 ");
        EXPECT_EQ(box.post(query).out, kHeader);
        EXPECT_EQ(box.read("/mnt/zk.ini"), "1 2 3 ");
        EXPECT_FALSE(box.exists("/mnt/zhiti.ini"));
    }
}

TEST(Subtitle, MissingSubtitleFileIsReportedAndNotCreated) {
    struct Case {
        Fields fields;
        std::string body;
    } cases[] = {
        {{{"sub_a_submit", ""}, {"sub_a", "female"}}, "subtitle enable\nCan't open file\n"},
        {{{"sub_submit", ""}, {"sub_text", "hi"}}, "set sub:hi\nCan't open file\n"},
        {{{"s_x_submit", ""}, {"s_x", "3"}}, "set x:3\nCan't open file\n"},
        {{{"s_y_submit", ""}, {"s_y", "4"}}, "set y:4\nCan't open file\n"},
        {{{"sub_v", ""}}, "Can't open file\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        Sandbox box;
        EXPECT_EQ(box.post(c.fields).out, kHeader + c.body);
        EXPECT_FALSE(box.exists("/mnt/zk.ini"));
        EXPECT_TRUE(box.calls().empty());
    }
}

TEST(Subtitle, FilesThatCannotBeReadOrWrittenAreReported) {
    Sandbox box;
    box.makeDirectory("/mnt/zk.ini");
    EXPECT_EQ(box.post("s_y_submit=&s_y=1").out, kHeader + "set y:1\nCan't open file\n");
    EXPECT_EQ(box.post("sub_v=").out, kHeader + "Can't open file\n");
    ASSERT_EQ(0, ::symlink("missing/zhiti.ini", box.hostPath("/mnt/zhiti.ini").c_str()));
    EXPECT_EQ(box.post("sub_z_submit=&sub_z=male").out,
              kHeader + "choose the small font\nCan't open file\n");
    EXPECT_TRUE(box.calls().empty());
}

TEST(Subtitle, TextsBeyondTheLimitsAreRefused) {
    std::string chinese99, fourByte74;
    for (int i = 0; i < 99; ++i) chinese99 += kChineseUtf8.substr(0, 3);
    std::string chinese99Gb;
    for (int i = 0; i < 99; ++i) chinese99Gb += kChineseGb.substr(0, 2);
    for (int i = 0; i < 74; ++i) fourByte74 += "\xF0\x9F\x98\x80";
    std::string wide99;
    for (int i = 0; i < 99; ++i) wide99 += "\xA3\xE1";
    struct Case {
        const char* name;
        std::string typed;
        std::optional<std::string> stored;  // nullopt: refused
    } cases[] = {
        {"99 ASCII characters", std::string(99, 'a'), wide99},
        {"100 ASCII characters", std::string(100, 'a'), std::nullopt},
        {"99 Chinese characters, 297 bytes", chinese99, chinese99Gb},
        {"100 Chinese characters", chinese99 + kChineseUtf8.substr(0, 3), std::nullopt},
        {"75 characters in 300 bytes", fourByte74 + "\xF0\x9F\x98\x80", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox box;
        box.write("/mnt/zk.ini", "1 2 3 \xA3\xC1");
        auto reply = box.post({{"sub_submit", ""}, {"sub_text", c.typed}});
        if (c.stored) {
            EXPECT_EQ(reply.out, kHeader + "set sub:" + c.typed + "\nset ok\n");
            EXPECT_EQ(box.read("/mnt/zk.ini"), "1 2 3 " + *c.stored);
        } else {
            EXPECT_EQ(reply.out, kHeader + "error len");
            EXPECT_EQ(box.read("/mnt/zk.ini"), "1 2 3 \xA3\xC1");
            EXPECT_TRUE(box.calls().empty());
        }
    }
}

TEST(Subtitle, LongestTextIsReportedWhole) {
    std::string chinese99, chinese99Gb;
    for (int i = 0; i < 99; ++i) {
        chinese99 += kChineseUtf8.substr(0, 3);
        chinese99Gb += kChineseGb.substr(0, 2);
    }
    Sandbox box;
    box.write("/mnt/zk.ini", "1 2 3 " + chinese99Gb);
    EXPECT_EQ(box.post("sub_v=").out, kHeader + reportOf("enable", "big", 2, 3, chinese99));
}

// A stored text longer than the system ever writes, or cut by the read
// limit, could only be written back cut: the commands that would keep it
// refuse, while a new text replaces it.
TEST(Subtitle, OverlongStoredTextIsNotWrittenBack) {
    std::string pairs100;
    for (int i = 0; i < 100; ++i) pairs100 += "\xA3\xC1";
    const std::string refused[] = {
        "1 2 3 " + pairs100,                           // 200 bytes of text
        "1 2 3" + std::string(250, ' ') + "\xA3\xC1" + pairs100,  // text beyond the read limit
    };
    for (const std::string& file : refused) {
        Sandbox box;
        box.write("/mnt/zk.ini", file);
        EXPECT_EQ(box.post("s_x_submit=&s_x=9").out, kHeader + "set x:9\nerror len");
        EXPECT_EQ(box.post("sub_v=").out, kHeader + "error len");
        EXPECT_EQ(box.read("/mnt/zk.ini"), file);
        EXPECT_TRUE(box.calls().empty());
        EXPECT_EQ(box.post("sub_submit=&sub_text=A").out, kHeader + "set sub:A\nset ok\n");
        EXPECT_EQ(box.read("/mnt/zk.ini"), "1 2 3 \xA3\xC1");
    }
    // A whole text followed by more than the read limit keeps the text.
    Sandbox box;
    box.write("/mnt/zk.ini", "1 2 3 \xA3\xC1 " + pairs100 + pairs100);
    EXPECT_EQ(box.post("s_x_submit=&s_x=9").out, kHeader + "set x:9\nset ok\n");
    EXPECT_EQ(box.read("/mnt/zk.ini"), "1 9 3 \xA3\xC1");
}

}  // namespace
