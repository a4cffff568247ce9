#include "soundset/config_writer.h"

#include <type_traits>

#include "soundset/patch_archive_writer.h"

namespace pocketmidi::soundset {

namespace {

constexpr char kLineEnd[] = "\r\n";

void Section(std::string& text, const std::string& name) { text += "[" + name + "]" + kLineEnd; }

void Key(std::string& text, const char* key, const std::string& value) {
  text += std::string(key) + "=" + value + kLineEnd;
}

template <typename T>
void OptionalKey(std::string& text, const char* key, const std::optional<T>& value) {
  if (!value) return;
  if constexpr (std::is_same_v<T, std::string>) {
    Key(text, key, *value);
  } else {
    Key(text, key, std::to_string(*value));
  }
}

bool WriteText(const std::string& path, const std::string& text, std::string* error) {
  return WriteBytesToFile(path, std::vector<uint8_t>(text.begin(), text.end()), error);
}

}  // namespace

SoundSetConfig SingleToneConfig(const std::string& patchName) {
  SoundSetConfig config;
  for (ToneSlotConfig& tone : config.tones) tone.name = patchName;
  return config;
}

std::string BootstrapText(const SoundSetConfig& config) {
  std::string text = std::string("# pocketmidi instrument set") + kLineEnd;
  Section(text, "FILES");
  OptionalKey(text, "CONFIG", config.patchListFile);
  OptionalKey(text, "PAT", config.archiveFile);
  Section(text, "OUTPUT");
  OptionalKey(text, "RATE", config.rate);
  OptionalKey(text, "CHANNELS", config.channels);
  OptionalKey(text, "BITS", config.bits);
  Section(text, "SP");
  OptionalKey(text, "SUPPORTED", config.spMidiSupported);
  Section(text, "OTHERS");
  OptionalKey(text, "POLYPHONES", config.polyphony);
  OptionalKey(text, "LOADALL", config.loadAll);
  OptionalKey(text, "FREEATONCE", config.freeAtOnce);
  return text;
}

std::string PatchListText(const SoundSetConfig& config) {
  std::string text = std::string("# patch of each program and drum note") + kLineEnd;
  for (int i = 0; i < 128; ++i) {
    Section(text, std::to_string(i));
    const ToneSlotConfig& tone = config.tones[i];
    if (!tone.name.empty()) Key(text, "bank_name", tone.name);
    OptionalKey(text, "bank_amp", tone.amp);
    const DrumSlotConfig& drum = config.drums[i];
    if (drum.name.empty()) continue;
    Key(text, "drumset_name", drum.name);
    OptionalKey(text, "drumset_amp", drum.amp);
    OptionalKey(text, "drumset_note", drum.note);
    OptionalKey(text, "drumset_pan", drum.pan);
    OptionalKey(text, "drumset_strip_envelope", drum.stripEnvelope);
    OptionalKey(text, "drumset_strip_loop", drum.stripLoop);
    OptionalKey(text, "drumset_strip_tail", drum.stripTail);
  }
  return text;
}

std::string JoinPath(const std::string& directory, const std::string& name) {
  if (directory.empty() || directory.back() == '/') return directory + name;
  return directory + "/" + name;
}

bool WriteConfigDirectory(const std::string& directory, const SoundSetConfig& config,
                          std::string* error) {
  if (!WriteText(JoinPath(directory, kBootstrapFileName), BootstrapText(config), error)) {
    return false;
  }
  if (!config.patchListFile || config.patchListFile->empty()) return true;
  return WriteText(JoinPath(directory, *config.patchListFile), PatchListText(config), error);
}

bool WriteSoundSet(const std::string& directory, const SoundSetConfig& config,
                   const std::vector<PatchDescription>& patches, bool compressed,
                   std::string* error) {
  if (!WriteConfigDirectory(directory, config, error)) return false;
  if (!config.archiveFile || config.archiveFile->empty()) {
    if (error) *error = "no archive file named";
    return false;
  }
  std::vector<uint8_t> archive = BuildArchive(patches, compressed, error);
  if (archive.empty()) return false;
  return WriteBytesToFile(JoinPath(directory, *config.archiveFile), archive, error);
}

}  // namespace pocketmidi::soundset
