// Capture and encoder parameters: what the status report prints of them and
// the commands that change them.
#pragma once

#include <cstddef>
#include <string>

#include "dispatch/dispatch.h"

namespace capture {

// The capture status block; 1 when /mnt/format.ini was read, -1 when not.
int printCaptureStatus();

// The encoder status block of the status report.
void printEncoderStatus();

// The numbers in /mnt/ttl.ini and /mnt/idr.ini; 100 when absent or unreadable.
int readTtl();
int readIdrInterval();

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
