// Option parsing shared by the commands that open a song for playing.
#pragma once

#include <cstdint>
#include <string>

#include "pocketmidi.h"

namespace pocketmidi::cli {

// --rate, --bits, --channels, --polyphony; 0 = not given.
struct FormatFlags {
  int32_t rate = 0;
  int32_t bits = 0;
  int32_t channels = 0;
  int32_t polyphony = 0;
  bool AnyGiven() const { return rate || bits || channels || polyphony; }
};

// Parses a decimal integer in [low, high].
bool ParseInt(const char* text, int32_t low, int32_t high, int32_t* value);

// Handles one of the four format flags at arg (its value in value).
// Returns the number of arguments used (2), 0 when arg is not a format
// flag, -1 (after a message) when its value is missing or invalid.
int ParseFormatFlag(const char* arg, const char* value, FormatFlags* flags);

// The instrument set used when --config is not given: $POCKETMIDI_SOUNDSET,
// else the set the build made from the default SoundFont.
std::string DefaultConfigDirectory();

// The library wants a directory ending with a separator.
std::string WithTrailingSeparator(const std::string& directory);

// Builds the override the host would pass: the flags given, and the
// configured values of the directory for the flags not given, so each given
// flag takes effect. False (with the cause) when the configuration cannot
// be read.
bool FillFormatOverride(const char16_t* configDirectory, const FormatFlags& flags,
                        FormatOverride* out, std::string* problem);

}  // namespace pocketmidi::cli
