// Overlays on the picture (the two overlay windows and the subtitle) and
// the audio input: the routines that edit their files, the status printers
// and the commands.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/fields.h"
#include "platform/platform.h"

namespace overlay {

// ---- Overlay windows: ten integers in /mnt/m.ini

// Both window routines look only at this many bytes from the start of the
// file, so the whole file must stay shorter.
constexpr std::size_t kWindowFileBytes = 100;

constexpr int kMaxIntFields = 16;
using IntFields = std::array<std::int32_t, kMaxIntFields>;

enum class FileStatus {
    Ok,
    CannotOpen,   // missing or unreadable (or, on writing, not writable)
    OutOfLayout,  // not shorter than the window, too few fields, or the
                  // edit would break the one-space layout or the window
};

// The first count (1 to 16) integers of the file as atoi reads them; the
// other entries stay 0. found, when given, is how many fields the file has
// (at most count).
FileStatus readIntFields(const char* path, int count, IntFields& values, int* found = nullptr);

// The overlay window file that the commands edit.
constexpr const char* kWindowFile = "/mnt/m.ini";
constexpr int kWindowFields = 10;

// Replaces field n (counted from 1) by text and rewrites the file, every
// other byte as it was; a trailing newline belongs to the last field. Runs
// "sync" after the write.
FileStatus replaceField(const char* path, const std::string& text, int n);

Flow cmdWindowReport(int);
Flow cmdMgSwitch(int choice);
Flow cmdGxSwitch(int choice);
Flow cmdMgPosition(int);
Flow cmdMgSize(int);
Flow cmdGxPosition(int);
Flow cmdGxSize(int);

// ---- Subtitle: /mnt/zk.ini and the font file /mnt/zhiti.ini

// The subtitle file is read as at most this many bytes.
constexpr std::size_t kSubtitleFileBytes = 330;
// The text as typed, in UTF-8.
constexpr std::size_t kSubtitleTypedBytes = 299;
// Every stored character takes two bytes, and the stored form has to fit
// 199 bytes: at most 99 characters.
constexpr std::size_t kSubtitleStoredBytes = 199;
constexpr std::size_t kSubtitleCharacters = 99;
// The UTF-8 form of a stored text, as the report shows it.
constexpr std::size_t kSubtitleReportBytes = 299;

// The subtitle file as "%d %d %d %s" reads it: items the line does not
// provide stay 0 or empty.
struct SubtitleLine {
    int enable = 0;
    int x = 0;
    int y = 0;
    std::string text;   // stored form
    bool whole = true;  // the text was read completely and fits its limit
};
// nullopt when the file cannot be read.
std::optional<SubtitleLine> readSubtitleFile();

// The font file: a non-zero digit means the small font; anything else, or
// no file, the big one.
platform::FileValue<char> readFontFile();
bool smallFont();

// The text as typed from its stored form: the widened ASCII characters
// narrowed back, the rest converted from GB2312. nullopt when the stored
// text is not GB2312.
std::optional<std::string> typedSubtitleText(const std::string& stored);

// GB2312 (EUC-CN) text in UTF-8, as iconv converts it, but from a table:
// iconv's GB2312 module would bring the shared libc into a static program
// at run time, which costs a read-only request more than all its other
// work. nullopt for bytes that are no GB2312 character, a cut one too.
std::optional<std::string> gb2312ToUtf8(const std::string& gb2312);

// A conversion as iconv gives it back: the bytes converted before it
// stopped, and its return value.
struct Converted {
    std::string text;
    int result = 0;
};

// The subtitle's conversions both ways into at most room bytes, as glibc's
// iconv between UTF-8 and GB2312 makes them, from the table: the programs
// need no converter module of the system they run on.
Converted utf8ToGb2312(const std::string& utf8, std::size_t room);
Converted gb2312ToUtf8(const std::string& gb2312, std::size_t room);

// The GB2312 bytes (lead byte high) of a code point, 0 when GB2312 has no
// form for it.
std::uint16_t gb2312Code(std::uint32_t codePoint);

// Appends a code point of the BMP (every GB2312 character is one) in UTF-8.
void appendUtf8(std::uint32_t codePoint, std::string& out);

// Whether the subtitle holds text as typed: printable ASCII and characters
// that have a GB2312 form, in UTF-8. Anything else would be dropped or cut
// in the conversion.
bool storableSubtitleText(const std::string& utf8);

// The text with the full-width forms of ASCII (and the ideographic space)
// read as ASCII: two subtitles that give the same text here are one
// setting, since the stored form cannot tell them apart.
std::string fullwidthAsAscii(const std::string& utf8);

// Two-byte characters: rows and cells 0xA1 to 0xFE, each the character's
// code point, 0 where GB2312 has none. Generated from glibc's iconv.
constexpr unsigned kGb2312First = 0xA1;
constexpr std::size_t kGb2312Rows = 94;
constexpr std::size_t kGb2312Cells = 94;
extern const std::uint16_t kGb2312CodePoints[kGb2312Rows][kGb2312Cells];

// Rewrites the subtitle file with one item replaced: 1 the switch, 2 x,
// 3 y (each the atoi value of value), 4 the text (stored in GB2312 with
// ASCII widened). Prints any conversion errors, then "set ok\n" or why
// nothing was written. 0 when the file was rewritten, -1 when not.
int updateSubtitle(const std::string& value, int item);

// Replaces the whole file by text, creating it if needed; false when it
// cannot be written. Every subtitle-side file write goes through here.
bool writeWholeFile(const char* path, const std::string& text);

Flow cmdSubtitleSwitch(int choice);
Flow cmdSubtitleFont(int choice);
Flow cmdSubtitleText(int);
Flow cmdSubtitleX(int);
Flow cmdSubtitleY(int);
Flow cmdSubtitleReport(int);

// ---- Audio input and the 3.5 mm input volume

// The audio input file's first byte ("1": the digital input's audio).
platform::FileValue<char> readAudioInputFile();

// The 3.5 mm input volume: the whole channel-0 value of the volume control
// in the mixer state file at path; no value without that control.
platform::FileValue<int> readVolume(const char* path);

// The audio input line of the status report.
void printAudioInputStatus();

// The 3.5 mm input volume line of the status report, from the mixer state
// file at path; nothing when the file or its volume control is missing.
void printVolumeStatus(const char* path);

// Writes the value into both channel value lines of the volume control
// in the mixer state file at path; everything else, the line ends
// included, stays as it was. Says why when the file is left alone.
void replaceMixerValues(const char* path, const std::string& value);

// Commands of the dispatcher; choice is the radio index where there is one.
Flow cmdAudioInput(int choice);
Flow cmdVolume(int);

}  // namespace overlay
