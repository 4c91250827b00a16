// A realistic appliance file set for black-box tests, written from the
// file formats the program reads.
#pragma once

#include <string>
#include <vector>

#include "support/sandbox.h"

namespace sandbox {

// The 16 header lines the program writes, with the default settings.
std::string defaultHeader();

// What follows the end marker in the scripts of these tests.
inline const std::string kEncoderStart =
    "\n# start the encoder with the settings above\n"
    "/mnt/kovra_enc -b $bitrate -f $framerate -i $fi &\n"
    "/mnt/kovra_stream -t $tz:$tc -u $url &\n";

// A boot script: the default header, then a tail of "end" and the rest.
std::string bootScript(const std::string& tailAfterMarker = kEncoderStart);

// An ALSA mixer state whose block opened by the 27th "{" is the volume
// control, its two channel lines holding the given values.
std::string mixerState(const std::string& left, const std::string& right);

// A network block as the program writes it.
std::string networkBlock(const std::string& ssid, const std::string& psk);

// The network blocks, each as a file's content, that wpa_supplicant's own
// parser refuses ("Failed to read or parse configuration"), with what it
// said; empty when it reads them all. Each runs for a second in a network
// namespace of its own (root is needed), all at once.
std::vector<std::string> refusedByWpaSupplicant(const std::vector<std::string>& blocks);

// Every settings file of the appliance, with the Wi-Fi enabled.
void layOutAppliance(Sandbox& box);

}  // namespace sandbox
