// Capture and encoder parameters: what the status report prints of them and
// the commands that change them.
#pragma once

#include <cstddef>
#include <string>

#include "platform/fields.h"

#include <utility>
#include <vector>

#include "platform/platform.h"

namespace capture {

// ---- What the capture files hold; the status block and the state
// document both read them here.
struct CaptureFiles {
    platform::FileValue<std::pair<int, int>> format;    // capture mode, format code
    platform::FileValue<int> inputType;                  // first byte less '0'; empty: no value
    platform::FileValue<int> policy;                     // /mnt/qiehuan
    platform::FileValue<std::pair<int, int>> detected;   // /tmp/format.ini: width, height
};
CaptureFiles readCaptureFiles();

// The catalogue name of a format code, or nullptr outside it.
const char* formatName(int code);

// The values the format and level menus offer, in menu order.
std::vector<int> formatMenuCodes();
std::vector<int> levelMenuCodes();

// The capture status block; 1 when /mnt/format.ini was read, -1 when not.
int printCaptureStatus();

// ---- Encoder files.
struct EncoderFiles {
    platform::FileValue<int> maxDelay;    // units of 100 ms, as atoi reads the first line
    platform::FileValue<char> profile;    // first byte
    platform::FileValue<char> quality;    // first byte
    platform::FileValue<int> level;       // as atoi reads the first two bytes
};
EncoderFiles readEncoderFiles();

// The status line of a level code, or nullptr when there is none.
const char* levelLine(unsigned code);

// The encoder status block of the status report.
void printEncoderStatus();

// The numbers in /mnt/ttl.ini and /mnt/idr.ini; 100 when absent or unreadable.
int readTtl();
int readIdrInterval();
platform::FileValue<int> readTtlFile();
platform::FileValue<int> readIdrFile();

// ---- Colour file: the six values in file order.
struct ColourValues {
    int bb = 128;
    int bg = 0;
    int br = 0;
    int lb = 0;
    int lg = 0;
    int lr = 0;
};
struct ColourFile {
    std::string text;     // as read
    ColourValues values;  // start values overwritten by the integers found
    int found = 0;        // how many integers the file holds, up to six
};
platform::FileValue<ColourFile> readColourValues(const ColourValues& start = {});

// Sets one colour value ("lr", "lg", "lb", "br", "bg", "bb") to the number
// in value and stores the colour file; position is where the key stood in
// the scanned text, for the bg trace.
void applyColourKey(const char* key, const std::string& value, std::size_t position);

// Commands of the dispatcher; choice is the radio index where there is one.
Flow cmdSetFormat(int);
Flow cmdSetInputType(int);
Flow cmdCaptureMode(int choice);
Flow cmdAutoDetectPolicy(int choice);
Flow cmdProfile(int choice);
Flow cmdQualityMode(int choice);
Flow cmdTtl(int);
Flow cmdIdrInterval(int);
Flow cmdLevel(int);
Flow cmdMaxDelay(int);
Flow cmdColourLr(int);
Flow cmdColourLg(int);
Flow cmdColourLb(int);
Flow cmdColourBr(int);
Flow cmdColourBg(int);
Flow cmdColourBb(int);

}  // namespace capture
