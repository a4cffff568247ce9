// Builds small SoundFont 2 files in memory for tests: samples, instruments
// and presets with their generator lists, serialised as RIFF "sfbk".
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace pocketmidi::testsupport {

struct Sf2BuildZone {
  std::vector<std::pair<uint16_t, uint16_t>> generators;  // written in this order
  int target = -1;  // instrument (preset zone) or sample (instrument zone); -1: global zone
};

class Sf2Builder {
 public:
  // loopStart/loopEnd are relative to the sample's first point.
  int AddSample(const std::string& name, const std::vector<int16_t>& points, uint32_t loopStart,
                uint32_t loopEnd, uint32_t sampleRate = 22050, uint8_t originalPitch = 60,
                int8_t pitchCorrection = 0);
  int AddInstrument(const std::string& name, const std::vector<Sf2BuildZone>& zones);
  int AddPreset(const std::string& name, uint16_t program, uint16_t bank,
                const std::vector<Sf2BuildZone>& zones);

  std::vector<uint8_t> Build() const;

  // Generator amount of a key or velocity range.
  static uint16_t Range(int low, int high) { return static_cast<uint16_t>(low | (high << 8)); }

 private:
  // The header, bag and generator records of the presets or the instruments.
  struct Level {
    std::vector<uint8_t> hdr, bag, gen;
  };
  // Appends a header (a preset's with its program and bank) and its zones;
  // `terminal` is the generator that names a zone's target.
  static void AddHeader(Level& level, const std::string& name, const uint16_t* programBank,
                        const std::vector<Sf2BuildZone>& zones, uint16_t terminal);

  std::vector<int16_t> pool_;
  std::vector<uint8_t> shdr_;  // sample records so far
  Level presets_, instruments_;
  int sampleCount_ = 0, instrumentCount_ = 0, presetCount_ = 0;
};

}  // namespace pocketmidi::testsupport
