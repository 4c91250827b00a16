// Overlays, subtitles and audio.
#pragma once

#include "dispatch/dispatch.h"

namespace overlay {

// The audio input line of the status report.
void printAudioInputStatus();

// The 3.5 mm input volume line of the status report, from the mixer state
// file at path; nothing when the file or its volume control is missing.
void printVolumeStatus(const char* path);

// Commands of the dispatcher; choice is the radio index where there is one.
Flow cmdAudioInput(int choice);
Flow cmdVolume(int);

}  // namespace overlay
