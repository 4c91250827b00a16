// Capture and encoder parameters: what the status report prints of them and
// the commands that change them.
#pragma once

#include "dispatch/dispatch.h"

namespace capture {

// The capture status block; 1 when /mnt/format.ini was read, -1 when not.
int printCaptureStatus();

// Commands of the dispatcher; choice is the radio index where there is one.
Flow cmdSetFormat(int);
Flow cmdSetInputType(int);
Flow cmdCaptureMode(int choice);
Flow cmdAutoDetectPolicy(int choice);
Flow cmdTtl(int);
Flow cmdIdrInterval(int);

}  // namespace capture
