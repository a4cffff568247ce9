// A SoundFont 2 bank as read from its RIFF "sfbk" file: the 16-bit sample
// pool, sample headers, instruments and presets with their zones. Modulators
// are checked for size and otherwise ignored.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace pocketmidi::soundset {

// Generator operators used by the conversion (SoundFont 2.01 numbering).
enum Sf2Generator : uint16_t {
  kGenStartAddrsOffset = 0,
  kGenEndAddrsOffset = 1,
  kGenStartloopAddrsOffset = 2,
  kGenEndloopAddrsOffset = 3,
  kGenStartAddrsCoarseOffset = 4,
  kGenModLfoToPitch = 5,
  kGenVibLfoToPitch = 6,
  kGenInitialFilterFc = 8,
  kGenEndAddrsCoarseOffset = 12,
  kGenModLfoToVolume = 13,
  kGenPan = 17,
  kGenDelayModLfo = 21,
  kGenFreqModLfo = 22,
  kGenDelayVibLfo = 23,
  kGenFreqVibLfo = 24,
  kGenDelayModEnv = 25,
  kGenAttackModEnv = 26,
  kGenHoldModEnv = 27,
  kGenDecayModEnv = 28,
  kGenReleaseModEnv = 30,
  kGenDelayVolEnv = 33,
  kGenAttackVolEnv = 34,
  kGenHoldVolEnv = 35,
  kGenDecayVolEnv = 36,
  kGenSustainVolEnv = 37,
  kGenReleaseVolEnv = 38,
  kGenKeynumToVolEnvHold = 39,
  kGenKeynumToVolEnvDecay = 40,
  kGenInstrument = 41,
  kGenKeyRange = 43,
  kGenVelRange = 44,
  kGenStartloopAddrsCoarseOffset = 45,
  kGenKeynum = 46,
  kGenVelocity = 47,
  kGenInitialAttenuation = 48,
  kGenEndloopAddrsCoarseOffset = 50,
  kGenCoarseTune = 51,
  kGenFineTune = 52,
  kGenSampleId = 53,
  kGenSampleModes = 54,
  kGenScaleTuning = 56,
  kGenExclusiveClass = 57,
  kGenOverridingRootKey = 58,
  kGenCount = 60,  // operators at or above this (endOper and unknown) are ignored
};

// The generators one zone sets, as raw 16-bit amounts.
struct Sf2Zone {
  std::array<uint16_t, kGenCount> amount{};
  uint64_t present = 0;  // bit g set when generator g was given

  bool Has(uint16_t g) const { return g < kGenCount && ((present >> g) & 1); }
  int16_t Signed(uint16_t g) const { return static_cast<int16_t>(amount[g]); }
  uint8_t RangeLow(uint16_t g) const { return static_cast<uint8_t>(amount[g] & 0xFF); }
  uint8_t RangeHigh(uint16_t g) const { return static_cast<uint8_t>(amount[g] >> 8); }
  void Set(uint16_t g, uint16_t value) {
    amount[g] = value;
    present |= uint64_t{1} << g;
  }
};

struct Sf2Sample {
  std::string name;
  uint32_t start = 0;  // points into SoundFont::points
  uint32_t end = 0;    // first point after the sample
  uint32_t loopStart = 0;
  uint32_t loopEnd = 0;  // first point after the loop
  uint32_t sampleRate = 0;
  uint8_t originalPitch = 60;
  int8_t pitchCorrection = 0;  // cents
  uint16_t sampleType = 1;     // bits 0x8000 (ROM) and 0x10 (compressed): unusable here
};

// An instrument's or a preset's zones. A global zone, when the bank has one,
// is kept apart; each local zone ends with its instrument or sample index.
struct Sf2ZoneList {
  bool hasGlobal = false;
  Sf2Zone global;
  std::vector<Sf2Zone> zones;
};

struct Sf2Instrument {
  std::string name;
  Sf2ZoneList zones;  // local zones carry kGenSampleId
};

struct Sf2Preset {
  std::string name;
  uint16_t program = 0;
  uint16_t bank = 0;
  Sf2ZoneList zones;  // local zones carry kGenInstrument
};

struct SoundFont {
  std::string name;                        // INFO INAM, may be empty
  std::vector<int16_t> points;             // the whole smpl chunk
  std::vector<Sf2Sample> samples;          // without the terminal "EOS" record
  std::vector<Sf2Instrument> instruments;  // without the terminal "EOI" record
  std::vector<Sf2Preset> presets;          // without the terminal "EOP" record
};

}  // namespace pocketmidi::soundset
