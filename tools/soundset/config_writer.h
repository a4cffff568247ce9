// Writes a configuration directory: the bootstrap file "zoltep" and the patch
// list it names, both with CR LF line ends (the reader splits lines only at
// CR LF). Every optional setting left empty is left out of the file, so the
// reader's default applies; values are written as they stand, unchecked, so
// tests can also write out-of-range ones.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "soundset/patch_description.h"

namespace pocketmidi::soundset {

struct ToneSlotConfig {
  std::string name;        // bank_name; empty: the key is left out
  std::optional<int> amp;  // bank_amp, 0..800 percent; absent: normalise to the peak
};

struct DrumSlotConfig {
  std::string name;                  // drumset_name; empty: no drum keys in the section
  std::optional<int> amp;            // drumset_amp
  std::optional<int> note;           // drumset_note: fixed note sounded
  std::optional<std::string> pan;    // drumset_pan: "center", "left", "right" or -100..100
  std::optional<int> stripEnvelope;  // drumset_strip_envelope 0/1
  std::optional<int> stripLoop;      // drumset_strip_loop 0/1
  std::optional<int> stripTail;      // drumset_strip_tail 0/1
};

constexpr char kBootstrapFileName[] = "zoltep";

struct SoundSetConfig {
  // [FILES]: names relative to the configuration directory.
  std::optional<std::string> patchListFile = std::string("patches.cfg");  // CONFIG
  std::optional<std::string> archiveFile = std::string("patches.pat");    // PAT (<= 63 chars)
  // [OUTPUT]
  std::optional<int> rate = 22050;  // RATE: 8000, 11025, 16000, 22050, 32000, 44100
  std::optional<int> channels = 2;  // CHANNELS: 1 mono, else stereo
  std::optional<int> bits = 16;     // BITS: 8, else 16
  // [SP]
  std::optional<std::string> spMidiSupported;  // SUPPORTED: "true" enables SP-MIDI
  // [OTHERS]
  std::optional<int> polyphony = 32;      // POLYPHONES
  std::optional<std::string> loadAll;     // LOADALL: "false" loads at first note
  std::optional<std::string> freeAtOnce;  // FREEATONCE: "true" frees after the last note

  std::array<ToneSlotConfig, 128> tones;  // sections "0".."127": every one needs a name
  std::array<DrumSlotConfig, 128> drums;  // by drum note
};

// A configuration in which all 128 programs play the one named patch.
SoundSetConfig SingleToneConfig(const std::string& patchName);

// The file texts, CR LF line ends.
std::string BootstrapText(const SoundSetConfig& config);
std::string PatchListText(const SoundSetConfig& config);

// Writes "zoltep" and the patch list (when named) into directory, which may
// end with '/' or not. False with *error set when a file cannot be written.
bool WriteConfigDirectory(const std::string& directory, const SoundSetConfig& config,
                          std::string* error = nullptr);

// Writes the configuration and the archive (under config.archiveFile).
bool WriteSoundSet(const std::string& directory, const SoundSetConfig& config,
                   const std::vector<PatchDescription>& patches, bool compressed,
                   std::string* error = nullptr);

// directory + '/' + name, without doubling the separator.
std::string JoinPath(const std::string& directory, const std::string& name);

}  // namespace pocketmidi::soundset
