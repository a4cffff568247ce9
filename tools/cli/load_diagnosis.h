// Turning the library's bare failure results into words for a person: which
// file, which key, which patch. Used only after an open has failed; it
// replays the opening steps one by one to find the first that fails.
#pragma once

#include <string>

#include "pocketmidi.h"

namespace pocketmidi::cli {

// A message when the configuration directory has no bootstrap file, else "".
// Check it before anything opens the configuration: the reader creates a
// missing file (empty), after which the cause could only be guessed.
std::string MissingBootstrap(const char16_t* configDirectory);

// The first problem of the configuration directory, or "" when the two
// configuration files read cleanly.
std::string DiagnoseConfiguration(const char16_t* configDirectory);

// Why opening songPath with configDirectory failed.
std::string DiagnoseLoadFailure(const char16_t* configDirectory, const char16_t* songPath,
                                const FormatOverride* formatOverride);

}  // namespace pocketmidi::cli
