// The subtitle: switch, position and text in /mnt/zk.ini, font size in
// /mnt/zhiti.ini. The text is typed in UTF-8 and stored in GB2312 with
// every ASCII byte widened to a double-byte character, so the stored text
// holds no white space and reads back as one word.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>

#include "platform/fields.h"
#include "overlay/overlay.h"
#include "platform/platform.h"

namespace overlay {
namespace {

constexpr const char* kSubtitleFile = "/mnt/zk.ini";
constexpr const char* kFontFile = "/mnt/zhiti.ini";

// Lead byte of GB2312 row 3, the full-width forms of ASCII.
constexpr unsigned char kWideLead = 0xA3;

bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// What stops a conversion is reported as the converter's return value
// was; the part converted so far is kept.
std::string reported(const Converted& converted) {
    if (converted.result != 0) std::printf("erro=%d\n", converted.result);
    return converted.text;
}

// GB2312 text with each single-byte character widened to 0xA3 and the byte
// plus 0x80. Characters that would not fit are dropped whole.
std::string storedForm(const std::string& gb2312) {
    std::string stored;
    for (std::size_t i = 0; i < gb2312.size();) {
        auto c = static_cast<unsigned char>(gb2312[i]);
        std::string character;
        if (c < 0x80) {
            character = {static_cast<char>(kWideLead), static_cast<char>(c + 0x80)};
            i += 1;
        } else {
            character = gb2312.substr(i, 2);
            i += 2;
        }
        if (stored.size() + character.size() > kSubtitleStoredBytes) break;
        stored += character;
    }
    return stored;
}

void changeFromField(const char* field, const char* reply, int item) {
    std::string value;
    if (!readTextField(field, value)) return;
    std::printf(reply, value.c_str());
    updateSubtitle(value, item);
}

}  // namespace

std::optional<SubtitleLine> readSubtitleFile() {
    std::optional<std::string> file = platform::readFile(kSubtitleFile, kSubtitleFileBytes + 1);
    if (!file) return std::nullopt;
    SubtitleLine line;
    bool cut = file->size() > kSubtitleFileBytes;
    std::string text = file->substr(0, std::min(file->size(), kSubtitleFileBytes));
    text = text.substr(0, text.find('\0'));
    std::size_t pos = 0;
    if (!platform::scanInt(text, pos, line.enable) || !platform::scanInt(text, pos, line.x) ||
        !platform::scanInt(text, pos, line.y))
        return line;
    while (pos < text.size() && isSpace(text[pos])) ++pos;
    std::size_t end = pos;
    while (end < text.size() && !isSpace(text[end])) ++end;
    line.text = text.substr(pos, end - pos);
    line.whole = !(cut && end == text.size()) && line.text.size() <= kSubtitleStoredBytes;
    return line;
}

platform::FileValue<char> readFontFile() { return platform::readFirstByte(kFontFile); }

bool smallFont() {
    std::optional<char> font = readFontFile().value;
    return font && *font >= '1' && *font <= '9';
}

std::optional<std::string> typedSubtitleText(const std::string& stored) {
    // Narrow the widened ASCII pairs back to single bytes, which GB2312
    // (EUC-CN) reads as ASCII; the other pairs stay GB2312 characters.
    std::string gb2312;
    bool wide = false;
    // Every stored character is a pair of bytes from 0x80 up.
    if (stored.size() % 2 != 0) return std::nullopt;
    for (std::size_t i = 0; i < stored.size(); i += 2) {
        auto c = static_cast<unsigned char>(stored[i]);
        auto trail = static_cast<unsigned char>(stored[i + 1]);
        if (c < 0x80 || trail < 0x80) return std::nullopt;  // never written by this program
        if (c == kWideLead) {
            gb2312 += static_cast<char>(trail - 0x80);
        } else {
            gb2312 += stored.substr(i, 2);
            wide = true;
        }
    }
    if (!wide) return gb2312;  // plain ASCII needs no converter
    return gb2312ToUtf8(gb2312);
}

std::optional<std::string> gb2312ToUtf8(const std::string& gb2312) {
    std::string utf8;
    utf8.reserve(gb2312.size() * 3 / 2 + 1);
    for (std::size_t i = 0; i < gb2312.size(); ++i) {
        auto lead = static_cast<unsigned char>(gb2312[i]);
        if (lead < 0x80) {
            utf8 += static_cast<char>(lead);
            continue;
        }
        if (i + 1 == gb2312.size()) return std::nullopt;
        auto trail = static_cast<unsigned char>(gb2312[++i]);
        // Bytes below the first row or cell wrap round to past the last.
        unsigned row = lead - kGb2312First;
        unsigned cell = trail - kGb2312First;
        if (row >= kGb2312Rows || cell >= kGb2312Cells) return std::nullopt;
        unsigned point = kGb2312CodePoints[row][cell];
        if (point == 0) return std::nullopt;
        appendUtf8(point, utf8);
    }
    return utf8;
}

void appendUtf8(std::uint32_t codePoint, std::string& out) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
        return;
    }
    if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
    } else {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    }
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
}

// Both conversions stop, as iconv does, before the first character that is
// not one (a cut one too) or has no form in the other encoding, and before
// one that does not fit in room; iconv then returns -1. GB2312 (EUC-CN) has
// no irreversible conversions, so a whole conversion returns 0.
Converted utf8ToGb2312(const std::string& utf8, std::size_t room) {
    Converted out;
    for (std::size_t i = 0; i < utf8.size();) {
        std::size_t next = i;
        std::uint32_t point = 0;
        const std::uint16_t code = platform::nextUtf8(utf8, next, point) ? point < 0x80 ? point : gb2312Code(point) : 0;
        const std::size_t size = code < 0x80 ? 1 : 2;
        if ((code == 0 && point != 0) || next == i || out.text.size() + size > room) {
            out.result = -1;
            return out;
        }
        if (size == 2) out.text += static_cast<char>(code >> 8);
        out.text += static_cast<char>(code & 0xFF);
        i = next;
    }
    return out;
}

Converted gb2312ToUtf8(const std::string& gb2312, std::size_t room) {
    Converted out;
    for (std::size_t i = 0; i < gb2312.size();) {
        const std::size_t size = static_cast<unsigned char>(gb2312[i]) < 0x80 ? 1 : 2;
        const std::optional<std::string> one =
            i + size <= gb2312.size() ? gb2312ToUtf8(gb2312.substr(i, size)) : std::nullopt;
        if (!one || out.text.size() + one->size() > room) {
            out.result = -1;
            return out;
        }
        out.text += *one;
        i += size;
    }
    return out;
}

std::uint16_t gb2312Code(std::uint32_t codePoint) {
    // The table turned round once per process, straight into a zeroed array
    // by code point: sorting it would cost more than the rest of a request.
    static std::uint16_t byPoint[0x10000];
    static const bool filled = [] {
        for (std::size_t row = 0; row < kGb2312Rows; ++row)
            for (std::size_t cell = 0; cell < kGb2312Cells; ++cell)
                if (const std::uint16_t point = kGb2312CodePoints[row][cell])
                    byPoint[point] = static_cast<std::uint16_t>((kGb2312First + row) << 8 |
                                                                (kGb2312First + cell));
        return true;
    }();
    (void)filled;
    return codePoint <= 0xFFFF ? byPoint[codePoint] : 0;
}

bool storableSubtitleText(const std::string& utf8) {
    for (std::size_t i = 0; i < utf8.size();) {
        std::uint32_t point = 0;
        if (!platform::nextUtf8(utf8, i, point)) return false;
        if ((point < 0x20 || point > 0x7E) && gb2312Code(point) == 0) return false;
    }
    return true;
}

int updateSubtitle(const std::string& value, int item) {
    std::optional<SubtitleLine> line = readSubtitleFile();
    if (!line) {
        replyCannotOpen();
        return -1;
    }
    // A stored text that was not read whole cannot be written back.
    if (!line->whole && item != 4) {
        replyRefusal("error len");
        return -1;
    }
    switch (item) {
        case 1:
            line->enable = platform::atoiValue(value);
            break;
        case 2:
            line->x = platform::atoiValue(value);
            break;
        case 3:
            line->y = platform::atoiValue(value);
            break;
        case 4:
            line->text = storedForm(reported(utf8ToGb2312(value, kSubtitleStoredBytes)));
            break;
        default:
            break;
    }
    std::string content = std::to_string(line->enable) + " " + std::to_string(line->x) + " " +
                          std::to_string(line->y) + " " + line->text;
    if (!writeWholeFile(kSubtitleFile, content)) {
        replyCannotOpen();
        return -1;
    }
    platform::shellSync();
    platform::shellSync();
    std::fputs("set ok\n", cgiOut);
    return 0;
}

bool writeWholeFile(const char* path, const std::string& text) {
    return platform::writeFile(path, text);
}

Flow cmdSubtitleSwitch(int choice) {
    std::fputs(choice == 1 ? "subtitle enable\n" : "subtitle disable\n", cgiOut);
    updateSubtitle(choice == 1 ? "1" : "0", 1);
    return Flow::Continue;
}

Flow cmdSubtitleFont(int choice) {
    std::fputs(choice == 1 ? "choose the big font \n" : "choose the small font\n", cgiOut);
    if (!writeWholeFile(kFontFile, choice == 1 ? "0" : "1")) replyCannotOpen();
    return Flow::Continue;
}

Flow cmdSubtitleText(int) {
    changeFromField("sub_text", "set sub:%s\n", 4);
    return Flow::Continue;
}

Flow cmdSubtitleX(int) {
    changeFromField("s_x", "set x:%s\n", 2);
    return Flow::Continue;
}

Flow cmdSubtitleY(int) {
    changeFromField("s_y", "set y:%s\n", 3);
    return Flow::Continue;
}

Flow cmdSubtitleReport(int) {
    std::optional<SubtitleLine> line = readSubtitleFile();
    if (!line) {
        std::puts("Can't open file");
        return Flow::Continue;
    }
    if (!line->whole) {
        std::fputs("error len", cgiOut);
        return Flow::Continue;
    }
    std::string text = reported(gb2312ToUtf8(line->text, kSubtitleReportBytes));
    std::fputs(line->enable != 0 ? "subtitle:enable\n" : "subtitle:disable\n", cgiOut);
    std::fputs(smallFont() ? "font:small\n" : "font:big\n", cgiOut);
    std::printf("x:%d\ny:%d\n", line->x, line->y);
    std::printf("subtitle value:%s\n", text.c_str());
    return Flow::Continue;
}

std::string fullwidthAsAscii(const std::string& utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        std::size_t next = i;
        std::uint32_t point = 0;
        if (!platform::nextUtf8(utf8, next, point)) {
            out += utf8[i++];
            continue;
        }
        const char ascii = point >= 0xFF01 && point <= 0xFF5E ? static_cast<char>(point - 0xFEE0)
                           : point == 0xFFE5                 ? '$'
                           : point == 0xFFE3                 ? '~'
                           : point == 0x3000                 ? ' '
                                                             : '\0';
        if (ascii)
            out += ascii;
        else
            out.append(utf8, i, next - i);
        i = next;
    }
    return out;
}

}  // namespace overlay
