// Turning a failed open into words for a person: which file, which key,
// which patch. The decoder and the engine note where an open stopped
// (OpenFailure); this only phrases it.
#pragma once

#include <string>

#include "pocketmidi.h"

namespace pocketmidi {
class StreamDecoder;
class SynthEngine;
}  // namespace pocketmidi

namespace pocketmidi::cli {

// A message when the configuration directory has no bootstrap file, else "".
// Check it before anything opens the configuration: the reader creates a
// missing file (empty), after which the cause could only be guessed.
std::string MissingBootstrap(const char16_t* configDirectory);

// Why engine's LoadConfiguration failed.
std::string DescribeConfigurationFailure(const SynthEngine& engine);

// Why decoder's Open failed.
std::string DescribeOpenFailure(const StreamDecoder& decoder);

// Why opening songPath with configDirectory failed, for a caller whose
// decoder is gone (MIDI_Load destroys it): opens the song once more through
// a decoder and describes where that open stopped.
std::string DiagnoseLoadFailure(const char16_t* configDirectory, const char16_t* songPath,
                                const FormatOverride* formatOverride);

}  // namespace pocketmidi::cli
