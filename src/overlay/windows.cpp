// The two overlay windows, mg and gx: switch, position and size of each,
// as ten space-separated integers in /mnt/m.ini. The file is only ever
// edited in place, never created.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/fields.h"
#include "overlay/overlay.h"
#include "platform/platform.h"
#include "settings/rules.h"

namespace overlay {
namespace {

// The file's bytes when they fit the window; status says why not otherwise.
std::optional<std::string> readWindow(const char* path, FileStatus& status) {
    std::optional<std::string> text = platform::readFile(path, kWindowFileBytes);
    if (!text) {
        status = FileStatus::CannotOpen;
        return std::nullopt;
    }
    if (text->size() >= kWindowFileBytes) {
        status = FileStatus::OutOfLayout;
        return std::nullopt;
    }
    status = FileStatus::Ok;
    return text;
}

// Where field n (from 1) stands: fields are separated by runs of spaces and
// leading spaces are skipped. The report reads and the editors change
// fields through this, so an edit changes the field the report shows.
// False when the content has no field n.
bool locateField(const std::string& content, int n, std::size_t& begin, std::size_t& end) {
    begin = content.find_first_not_of(' ');
    for (int field = 1; begin != std::string::npos; ++field) {
        end = content.find(' ', begin);
        if (end == std::string::npos) end = content.size();
        if (field == n) return true;
        begin = content.find_first_not_of(' ', end);
    }
    return false;
}

// Field n of the content replaced by text, every other byte kept; nullopt
// when the content has no field n or the result would not keep the layout.
std::optional<std::string> withField(const std::string& content, const std::string& text, int n) {
    if (n < 1 || n > kMaxIntFields || text.empty() || text.find(' ') != std::string::npos)
        return std::nullopt;
    std::size_t begin = 0, end = 0;
    if (!locateField(content, n, begin, end)) return std::nullopt;
    std::string result = content.substr(0, begin) + text + content.substr(end);
    if (result.size() >= kWindowFileBytes) return std::nullopt;
    return result;
}

struct Edit {
    int field;
    std::string text;
};

// Every edit is tried on the file's content before the first write, so a
// refused value leaves the whole file as it was; then each field gets its
// own read-modify-write.
void changeFields(const std::string& reply, const std::vector<Edit>& edits) {
    if (edits.empty()) {
        std::fputs(reply.c_str(), cgiOut);
        return;
    }
    FileStatus status = FileStatus::Ok;
    std::optional<std::string> planned = readWindow(kWindowFile, status);
    for (const Edit& edit : edits) {
        if (!planned) break;
        planned = withField(*planned, edit.text, edit.field);
        if (!planned) status = FileStatus::OutOfLayout;
    }
    if (status == FileStatus::OutOfLayout) {
        replyRefusal("error len");
        return;
    }
    std::fputs(reply.c_str(), cgiOut);
    for (const Edit& edit : edits) {
        status = replaceField(kWindowFile, edit.text, edit.field);
        if (status == FileStatus::CannotOpen) {
            replyCannotOpen();
            return;
        }
        if (status == FileStatus::OutOfLayout) {  // changed since it was checked
            replyRefusal("error len");
            return;
        }
    }
}

void switchWindow(const char* name, int choice, int field) {
    bool on = choice == 1;
    changeFields(std::string(name) + (on ? " enable\n" : " disable\n"), {{field, on ? "1" : "0"}});
}

// One pair of text fields into two neighbouring fields of the file. Each
// value given must be a number of its row of the value rules; an absent one
// leaves its field as it is.
void changePair(const char* firstName, const char* secondName, const char* firstLabel,
                const char* secondLabel, int firstField) {
    std::string first, second;
    cgiFormResultType a = cgiFormStringNoNewlines(firstName, first, kTextFieldSize);
    cgiFormResultType b = cgiFormStringNoNewlines(secondName, second, kTextFieldSize);
    if (a == cgiFormTruncated || b == cgiFormTruncated) {
        replyRefusal("error len");
        return;
    }
    if (a == cgiFormEmpty || b == cgiFormEmpty) {
        replyRefusal("input empty");
        return;
    }
    if (a != cgiFormSuccess && b != cgiFormSuccess) return;
    for (const auto& [name, value] : {std::make_pair(firstName, &first), std::make_pair(secondName, &second)}) {
        if (value->empty()) continue;
        if (const char* refusal = settings::refusalFor(*settings::ruleForField(name), *value)) {
            replyRefusal(refusal);
            return;
        }
    }
    std::string reply = std::string("set ") + firstLabel + "=" + first + "," + secondLabel + "=" +
                        second + "\n";
    std::vector<Edit> edits;
    if (!first.empty()) edits.push_back({firstField, first});
    if (!second.empty()) edits.push_back({firstField + 1, second});
    changeFields(reply, edits);
}

}  // namespace

FileStatus readIntFields(const char* path, int count, IntFields& values, int* found) {
    values.fill(0);
    if (found) *found = 0;
    if (count < 1 || count > kMaxIntFields) return FileStatus::OutOfLayout;
    FileStatus status = FileStatus::Ok;
    std::optional<std::string> window = readWindow(path, status);
    if (!window) return status;
    std::string text = window->substr(0, window->find('\0'));
    if (count == 1) {
        values[0] = platform::atoiValue(text);
        if (found) *found = 1;
        return FileStatus::Ok;
    }
    // Runs of spaces separate like one; a newline is part of a value.
    for (int i = 0; i < count; ++i) {
        std::size_t begin = 0, end = 0;
        if (!locateField(text, i + 1, begin, end)) break;
        values[i] = platform::atoiValue(text.substr(begin, end - begin));
        if (found) *found = i + 1;
    }
    return FileStatus::Ok;
}

FileStatus replaceField(const char* path, const std::string& text, int n) {
    FileStatus status = FileStatus::Ok;
    std::optional<std::string> content = readWindow(path, status);
    if (!content) return status;
    std::optional<std::string> changed = withField(*content, text, n);
    if (!changed) return FileStatus::OutOfLayout;
    if (!platform::writeFile(path, *changed)) return FileStatus::CannotOpen;
    platform::shellSync();
    return FileStatus::Ok;
}

Flow cmdWindowReport(int) {
    IntFields v{};
    switch (readIntFields(kWindowFile, kWindowFields, v)) {
        case FileStatus::CannotOpen:
            std::puts("Can't open file");
            return Flow::Continue;
        case FileStatus::OutOfLayout:
            std::fputs("error len", cgiOut);
            return Flow::Continue;
        case FileStatus::Ok:
            break;
    }
    std::fputs(v[0] != 0 ? "mg enable\n" : "mg disable\n", cgiOut);
    std::fputs(v[5] != 0 ? "gx enable\n" : "gx disable\n", cgiOut);
    std::printf(
        "mg x=%d\nmg y=%d\n\nmg width=%d\n mg height=%d\n\ngx x=%d\ngx y=%d\n\ngx width=%d\n gx "
        "height=%d\n",
        v[1], v[2], v[3], v[4], v[6], v[7], v[8], v[9]);
    return Flow::Continue;
}

Flow cmdMgSwitch(int choice) {
    switchWindow("mg", choice, 1);
    return Flow::Continue;
}

Flow cmdGxSwitch(int choice) {
    switchWindow("gx", choice, 6);
    return Flow::Continue;
}

Flow cmdMgPosition(int) {
    changePair("mg_x", "mg_y", "x", "y", 2);
    return Flow::Continue;
}

Flow cmdMgSize(int) {
    changePair("mg_w", "mg_h", "w", "h", 4);
    return Flow::Continue;
}

Flow cmdGxPosition(int) {
    changePair("gx_x", "gx_y", "x", "y", 7);
    return Flow::Continue;
}

Flow cmdGxSize(int) {
    changePair("gx_w", "gx_h", "w", "h", 9);
    return Flow::Continue;
}

}  // namespace overlay
