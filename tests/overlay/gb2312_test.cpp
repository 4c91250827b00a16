// The GB2312 table against the converter it was made from.
#include <gtest/gtest.h>
#include <iconv.h>

#include <optional>
#include <string>

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

}  // namespace
