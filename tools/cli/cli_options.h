// Option parsing shared by the commands that open a song for playing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "pocketmidi.h"

namespace pocketmidi::cli {

// Exit status of a command line that cannot be understood; 1 is kept for
// commands that were understood and failed.
constexpr int kUsageError = 2;

// The help lines of --config and the four format flags, with their defaults.
void PrintSetOptionsHelp(FILE* out);

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

// An integer option of a command: --name VALUE, VALUE in [low, high].
struct IntOption {
  const char* name;
  int32_t* value;
  int32_t low, high;
  const char* expects;  // what a bad value is told it should be
};

// What the commands that open one song have in common.
struct SongArgs {
  bool help = false;  // -h or --help was given: print the help, nothing else
  std::string song;
  std::string config;  // DefaultConfigDirectory() unless --config is given
  std::string output;  // -o/--output, for commands that take it
  FormatFlags format;
};

// Parses argv[1..] for `command`: -h/--help, the format flags, --config,
// -o/--output when takesOutput, the command's integer options and one song.
// False after a message for an unknown option, a bad value or a second song
// (a usage error: exit status kUsageError); a missing song or output is left
// to the caller, which knows its usage line.
bool ParseSongArgs(const char* command, int argc, char** argv, const IntOption* ints,
                   size_t intCount, bool takesOutput, SongArgs* args);

// Builds the override the host would pass: the flags given, and the
// configured values of the directory for the flags not given, so each given
// flag takes effect. False (with the cause) when the configuration cannot
// be read.
bool FillFormatOverride(const char16_t* configDirectory, const FormatFlags& flags,
                        FormatOverride* out, std::string* problem);

// The override to open a song with: null when no format flag was given,
// else `storage` filled by FillFormatOverride. False after a message.
bool ResolveFormatOverride(const char* command, const char16_t* configDirectory,
                           const FormatFlags& flags, FormatOverride* storage,
                           const FormatOverride** result);

// A progress bar of 40 cells, "[####    ]", for position of duration.
std::string ProgressBar(int32_t position, int32_t duration);

}  // namespace pocketmidi::cli
