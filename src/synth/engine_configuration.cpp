// The configuration schema: the bootstrap file "zoltep" (file names, output
// format, SP-MIDI, polyphony, loading policy), the patch list (one section
// per program with its melodic patch and its drum sound), and the host's
// format override on top.
#include <cstdint>
#include <cstring>

#include "config/ini_file.h"
#include "platform/runtime_string.h"
#include "platform/utf16_path.h"
#include "pocketmidi.h"
#include "synth/engine_result.h"
#include "synth/synth_engine.h"

namespace pocketmidi {

namespace {

constexpr char kBootstrapName[] = "zoltep";
constexpr uint32_t kStringValueBytes = 128;  // longer values count as missing
constexpr std::size_t kNarrowPathBytes = 128;
constexpr std::size_t kArchiveNameUnits = 64;  // at most 63 characters
constexpr std::size_t kSlotNameMax = sizeof(InstrumentSlot::name) - 1;

bool ReadString(const IniFile* file, const char* section, const char* key,
                char (&value)[kStringValueBytes]) {
  IniQuery query{section, key, value, kIniString, kStringValueBytes};
  return IniFile::GetValue(file, &query) == 1;
}

bool ReadInteger(const IniFile* file, const char* section, const char* key, int32_t* value) {
  IniQuery query{section, key, nullptr, kIniInteger, 0, value};
  return IniFile::GetValue(file, &query) == 1;
}

bool IsOutputRate(uint32_t rate) {
  return rate == 8000 || rate == 11025 || rate == 16000 || rate == 22050 || rate == 32000 ||
         rate == 44100;
}

std::size_t WideLength(const char16_t* text) {
  std::size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

void ClearSettings(InstrumentSlot& slot) {
  slot.note = -1;
  slot.amp = -1;
  slot.pan = -1;
  slot.stripLoop = -1;
  slot.stripEnvelope = -1;
  slot.stripTail = -1;
}

// An optional integer key: absent leaves *value as it is (-1), present must
// lie in low..high.
bool ReadRanged(const IniFile* file, const char* section, const char* key, int32_t low,
                int32_t high, int32_t* value) {
  int32_t read = 0;
  if (!ReadInteger(file, section, key, &read)) return true;
  if (read < low || read > high) return false;
  *value = read;
  return true;
}

// "center", "left", "right", or -100..100 scaled to 0..127. The scaling
// wraps at 32 bits as the handheld's runtime does; the range check decides.
bool DrumPan(const char* text, int32_t* pan) {
  if (std::strcmp(text, "center") == 0) {
    *pan = 64;
  } else if (std::strcmp(text, "left") == 0) {
    *pan = 0;
  } else if (std::strcmp(text, "right") == 0) {
    *pan = 127;
  } else {
    const uint32_t shifted = static_cast<uint32_t>(RuntimeAtoi(text)) + 100u;
    const int32_t scaled = static_cast<int32_t>(shifted * 100u) / 157;
    if (scaled < 0 || scaled > 127) return false;
    *pan = scaled;
  }
  return true;
}

int32_t ReadDrumSettings(const IniFile* file, const char* section, InstrumentSlot& slot) {
  if (!ReadRanged(file, section, "drumset_amp", 0, 800, &slot.amp)) return kDrumAmpError;
  if (!ReadRanged(file, section, "drumset_note", 0, 127, &slot.note)) return kDrumNoteError;
  char pan[kStringValueBytes];
  // An empty value is a number like any other text: it scales as 0.
  if (ReadString(file, section, "drumset_pan", pan) && !DrumPan(pan, &slot.pan)) {
    return kDrumPanError;
  }
  if (!ReadRanged(file, section, "drumset_strip_envelope", 0, 1, &slot.stripEnvelope)) {
    return kStripEnvelopeError;
  }
  if (!ReadRanged(file, section, "drumset_strip_loop", 0, 1, &slot.stripLoop)) {
    return kStripLoopError;
  }
  if (!ReadRanged(file, section, "drumset_strip_tail", 0, 1, &slot.stripTail)) {
    return kStripTailError;
  }
  return 0;
}

int32_t ReadPatchSection(const IniFile* file, int program, InstrumentSlot& tone,
                         InstrumentSlot& drum) {
  // The section is the program number in decimal (formatted without printf,
  // whose code a rendering process need not map for this).
  char section[kRuntimeItoaBytes];
  RuntimeItoa(program, section);

  char name[kStringValueBytes];
  if (!ReadString(file, section, "bank_name", name) || name[0] == 0) return kBankNameError;
  // A name that does not fit the slot is refused rather than cut: a cut
  // name would silently load a different patch.
  if (std::strlen(name) > kSlotNameMax) return kBankNameError;
  std::strcpy(tone.name, name);
  ClearSettings(tone);
  if (!ReadRanged(file, section, "bank_amp", 0, 800, &tone.amp)) return kBankAmpError;

  if (!ReadString(file, section, "drumset_name", name) || name[0] == 0) return 0;
  if (std::strlen(name) > kSlotNameMax) return kDrumAmpError;
  std::strcpy(drum.name, name);
  ClearSettings(drum);
  return ReadDrumSettings(file, section, drum);
}

void ReadEngineSettings(const IniFile* file, SynthEngine& engine) {
  int32_t value = 11025;
  ReadInteger(file, "OUTPUT", "RATE", &value);
  const uint32_t rate = static_cast<uint16_t>(value);  // the low 16 bits count
  engine.sampleRate = IsOutputRate(rate) ? rate : 11025;

  value = 2;
  ReadInteger(file, "OUTPUT", "CHANNELS", &value);
  if (value == 1) {
    engine.formatFlags |= kFormatMono;
  } else {
    engine.formatFlags &= ~kFormatMono;
  }

  value = 16;
  ReadInteger(file, "OUTPUT", "BITS", &value);
  if (value == 8) {
    engine.formatFlags &= ~kFormat16Bit;
  } else {
    engine.formatFlags |= kFormat16Bit;
  }

  char text[kStringValueBytes];
  engine.spMidiEnabled =
      ReadString(file, "SP", "SUPPORTED", text) && std::strcmp(text, "true") == 0;

  value = 32;
  ReadInteger(file, "OTHERS", "POLYPHONES", &value);
  engine.voiceCount = value > 0 ? value : 32;

  engine.loadAll =
      !(ReadString(file, "OTHERS", "LOADALL", text) && std::strcmp(text, "false") == 0);

  // Unloading after the last note needs loading at first note to bring an
  // instrument back, so it overrides LOADALL.
  if (ReadString(file, "OTHERS", "FREEATONCE", text) && std::strcmp(text, "true") == 0) {
    engine.freeAtOnce = 1;
    engine.loadAll = 0;
  } else {
    engine.freeAtOnce = 0;
  }
}

}  // namespace

int32_t SynthEngine::LoadConfiguration() {
  // An empty directory means the root; a non-empty one ends with its
  // separator already.
  static const char16_t kRoot[] = u"\\";
  const char16_t* base = directory[0] != 0 ? directory : kRoot;
  const std::size_t baseUnits = WideLength(base);

  // The configuration paths are single-byte: a directory that does not fit
  // their 128 bytes, or holds characters they cannot carry, is refused
  // before anything is opened (opening creates a missing file).
  char16_t bootstrapWide[kMaxPathUnits + sizeof(kBootstrapName)];
  for (std::size_t i = 0; i < baseUnits; ++i) bootstrapWide[i] = base[i];
  for (std::size_t i = 0; i < sizeof(kBootstrapName); ++i) {
    bootstrapWide[baseUnits + i] = static_cast<char16_t>(kBootstrapName[i]);
  }
  char bootstrapPath[kNarrowPathBytes];
  if (!WideToNarrow(bootstrapWide, bootstrapPath, sizeof(bootstrapPath))) {
    return RecordFailure(openFailure, OpenStage::kBootstrapPath, kEngineMissingInput);
  }
  IniFile* file = IniFile::Open(bootstrapPath);
  if (file == nullptr) {
    return RecordFailure(openFailure, OpenStage::kBootstrapFile, kEngineMissingInput, -1,
                         bootstrapPath);
  }
  const int32_t result = ReadBootstrap(file, bootstrapPath, base, baseUnits);
  IniFile::Close(file);
  return result;
}

// The bootstrap file's [FILES] names (patch list, then archive) and its
// engine settings.
int32_t SynthEngine::ReadBootstrap(const IniFile* file, const char* bootstrapPath,
                                   const char16_t* base, std::size_t baseUnits) {
  char value[kStringValueBytes];
  if (!ReadString(file, "FILES", "CONFIG", value) || value[0] == 0) {
    return RecordFailure(openFailure, OpenStage::kPatchListName, kEngineMissingInput, -1,
                         bootstrapPath);
  }
  // The base is shorter than the bootstrap path, which fitted.
  char patchListPath[kNarrowPathBytes + kStringValueBytes];
  WideToNarrow(base, patchListPath, kNarrowPathBytes);
  std::strcat(patchListPath, value);
  if (LoadPatchList(patchListPath) != kEngineOk) return kEngineMissingInput;

  if (!ReadString(file, "FILES", "PAT", value) || value[0] == 0) {
    return RecordFailure(openFailure, OpenStage::kArchiveName, kEngineMissingInput, -1,
                         bootstrapPath);
  }
  // Archive names are cut to 63 characters; a directory plus name that
  // would not fit the directory field is refused rather than cut.
  char16_t archiveName[kArchiveNameUnits];
  NarrowToWide(value, archiveName, kArchiveNameUnits);
  const std::size_t nameUnits = WideLength(archiveName);
  if (baseUnits + nameUnits >= static_cast<std::size_t>(kMaxPathUnits)) {
    return RecordFailure(openFailure, OpenStage::kArchivePath, kEngineMissingInput, -1,
                         bootstrapPath);
  }
  if (directory[0] == 0) {
    directory[0] = u'\\';
    directory[1] = 0;
  }
  for (std::size_t i = 0; i <= nameUnits; ++i) directory[baseUnits + i] = archiveName[i];

  ReadEngineSettings(file, *this);
  return kEngineOk;
}

int32_t SynthEngine::LoadPatchList(const char* path) {
  IniFile* file = IniFile::Open(path);
  if (file == nullptr) {
    return RecordFailure(openFailure, OpenStage::kPatchList, kEngineMissingInput, -1, path);
  }
  int32_t result = kEngineOk;
  for (int program = 0; program < 128 && result == kEngineOk; ++program) {
    result = ReadPatchSection(file, program, toneSlots[program], drumSlots[program]);
    if (result != kEngineOk) {
      RecordFailure(openFailure, OpenStage::kPatchList, result, program, path);
    }
  }
  IniFile::Close(file);
  return result;
}

int32_t SynthEngine::ApplyFormatOverride(const FormatOverride* override) {
  // Fields apply in order up to the first refused one; those before it stay.
  if (override == nullptr) return 0;
  if (!IsOutputRate(override->sampleRate)) return 0;
  sampleRate = override->sampleRate;

  if (override->bitsPerSample == 8) {
    formatFlags &= ~kFormat16Bit;
  } else if (override->bitsPerSample == 16) {
    formatFlags |= kFormat16Bit;
  } else {
    return 0;
  }

  if (override->channels == 1) {
    formatFlags |= kFormatMono;
  } else if (override->channels == 2) {
    formatFlags &= ~kFormatMono;
  } else {
    return 0;
  }

  if (override->polyphony == voiceCount) return 1;
  if (override->polyphony < 1) return 0;
  voiceCount = override->polyphony;
  return 1;
}

}  // namespace pocketmidi
