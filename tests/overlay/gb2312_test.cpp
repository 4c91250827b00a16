// The GB2312 table against the converter it was made from.
#include <gtest/gtest.h>
#include <iconv.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "overlay/overlay.h"

namespace {

std::optional<std::string> byIconv(iconv_t cd, const std::string& text) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::string in = text;
    char out[64];
    char* inPtr = in.data();
    char* outPtr = out;
    std::size_t inLeft = in.size();
    std::size_t outLeft = sizeof out;
    std::size_t status = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    if (status != 0 || inLeft != 0) return std::nullopt;
    return std::string(out, static_cast<std::size_t>(outPtr - out));
}

TEST(Gb2312, TableDecodesEveryBytePairAsIconvDoes) {
    iconv_t cd = iconv_open("utf-8", "gb2312");
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    int decoded = 0;
    for (int lead = 0x80; lead <= 0xFF; ++lead) {
        for (int trail = 0; trail <= 0xFF; ++trail) {
            // Each pair after an ASCII letter, so that the letter must come through too.
            const std::string text = {'a', static_cast<char>(lead), static_cast<char>(trail)};
            const std::optional<std::string> expected = byIconv(cd, text);
            ASSERT_EQ(overlay::gb2312ToUtf8(text), expected) << std::hex << lead << ' ' << trail;
            decoded += expected.has_value();
        }
        const std::string cut = {'a', static_cast<char>(lead)};
        ASSERT_EQ(overlay::gb2312ToUtf8(cut), std::nullopt) << std::hex << lead;
    }
    iconv_close(cd);
    EXPECT_EQ(decoded, 7445);  // the characters GB2312 defines
    EXPECT_EQ(overlay::gb2312ToUtf8("plain \t\x7f"), "plain \t\x7f");
}

// A subtitle takes a character exactly when iconv converts it to GB2312,
// and the table gives the bytes iconv does: every code point of the BMP.
TEST(Gb2312, StorableCharactersAreThoseIconvEncodes) {
    iconv_t cd = iconv_open("gb2312", "utf-8");
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    int storable = 0;
    for (std::uint32_t point = 0x80; point <= 0xFFFF; ++point) {
        if (point >= 0xD800 && point <= 0xDFFF) continue;
        std::string utf8;
        if (point < 0x800) {
            utf8 = {static_cast<char>(0xC0 | (point >> 6)), static_cast<char>(0x80 | (point & 0x3F))};
        } else {
            utf8 = {static_cast<char>(0xE0 | (point >> 12)),
                    static_cast<char>(0x80 | ((point >> 6) & 0x3F)),
                    static_cast<char>(0x80 | (point & 0x3F))};
        }
        const std::optional<std::string> expected = byIconv(cd, utf8);
        const std::uint16_t code = overlay::gb2312Code(point);
        ASSERT_EQ(code != 0, expected.has_value()) << std::hex << point;
        ASSERT_EQ(overlay::storableSubtitleText("a" + utf8), expected.has_value()) << std::hex << point;
        if (code) {
            ASSERT_EQ(*expected, std::string({static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)}));
            ++storable;
        }
    }
    iconv_close(cd);
    EXPECT_EQ(storable, 7445);
    // Printable ASCII only, and nothing that is no UTF-8.
    for (const char* refused : {"\t", "\x7f", "\xff", "\xe4\xb8", "\xc0\xaf", "\xed\xa0\x80", "\xf0\x9f\x98\x80"})
        EXPECT_FALSE(overlay::storableSubtitleText(std::string("x") + refused)) << refused;
    EXPECT_TRUE(overlay::storableSubtitleText(" ~Az09!"));
}

// The programs convert from the table; iconv stays the reference for what
// they print: the bytes converted before a stop and the return value, for
// each way a text can stop (a cut character, one without a form first, in
// the middle or last, an invalid byte, no more room) and for none.
TEST(Gb2312, TableConversionsStopWhereIconvStops) {
    struct Case {
        bool toGb2312;
        std::string text;
        std::size_t room;
    };
    const std::string zhong = "\xe4\xb8\xad", wen = "\xe6\x96\x87";        // 中文 in UTF-8
    const std::string zhongGb = "\xd6\xd0", wenGb = "\xce\xc4";             // and in GB2312
    const std::string emoji = "\xf0\x9f\x98\x80", euro = "\xe2\x82\xac";  // no GB2312 form
    const std::vector<Case> cases = {
        {true, "abc" + zhong + wen, 199}, {true, emoji + "ab", 199}, {true, "a" + euro + zhong, 199},
        {true, zhong + wen + euro, 199}, {true, "a\xe4\xb8", 199}, {true, "a\xff" + zhong, 199},
        {true, "a\xc0\xafz", 199}, {true, "a\xed\xa0\x80z", 199}, {true, zhong + wen + "xy", 4},
        {true, zhong + wen + "xy", 5}, {true, std::string("a\0b", 3), 199}, {true, "", 199},
        {false, "abc" + zhongGb + wenGb, 299}, {false, "a\xd6", 299}, {false, zhongGb + "\xa1\x40" + wenGb, 299},
        {false, "x\x8e\xa1", 299}, {false, "x\xff\xa1", 299}, {false, "\xaa\xa1" + zhongGb, 299},
        {false, zhongGb + wenGb, 5}, {false, zhongGb + wenGb, 6}, {false, "", 299},
    };
    for (const Case& c : cases) {
        iconv_t cd = c.toGb2312 ? iconv_open("gb2312", "utf-8") : iconv_open("utf-8", "gb2312");
        ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
        std::string in = c.text;
        std::vector<char> out(c.room);
        char* inPtr = in.data();
        char* outPtr = out.data();
        std::size_t inLeft = in.size(), outLeft = out.size();
        const int result = static_cast<int>(iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft));
        iconv_close(cd);
        const std::string expected(out.data(), static_cast<std::size_t>(outPtr - out.data()));
        const overlay::Converted got =
            c.toGb2312 ? overlay::utf8ToGb2312(c.text, c.room) : overlay::gb2312ToUtf8(c.text, c.room);
        EXPECT_EQ(got.text, expected) << (c.toGb2312 ? "to GB2312: " : "to UTF-8: ") << c.text;
        EXPECT_EQ(got.result, result) << (c.toGb2312 ? "to GB2312: " : "to UTF-8: ") << c.text;
    }
}

}  // namespace
