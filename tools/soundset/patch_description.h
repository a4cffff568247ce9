// A patch as an author thinks of it (points in playing order, loop in points,
// frequencies in milli-Hz), and the bytes it goes into the archive as (the
// layout itself is in instruments/patch_archive_format.h).
//
// Building a one-patch instrument set, e.g. for a test:
//
//   namespace ss = pocketmidi::soundset;
//   ss::PatchDescription tone;
//   tone.name = "sine";
//   tone.points = {...};                  // signed 16-bit points
//   tone.sampleRate = 22050;
//   tone.rootFreqMilliHz = 261626;        // sounds unchanged at middle C
//   tone.loopMode = ss::LoopMode::kForward;
//   tone.loopStart = 0;
//   tone.loopEnd = tone.points.size();
//   ss::SoundSetConfig config = ss::SingleToneConfig("sine");  // every program
//   std::string error;
//   ss::WriteSoundSet("/tmp/set/", config, {tone}, /*compressed=*/false, &error);
//
// then open the library with the configuration directory "/tmp/set/".
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "instruments/patch_archive_format.h"

namespace pocketmidi::soundset {

enum class LoopMode { kOneShot, kForward, kPingPong };

struct PatchDescription {
  std::string name;             // 1..15 bytes; the index is sorted by byte order
  std::vector<int16_t> points;  // signed 16-bit points in playing order

  // Storage in a raw archive (a compressed archive always holds signed
  // 16-bit points, so these three are ignored there except `reversed`).
  int bitsPerPoint = 16;    // 8 keeps the high byte of each point
  bool isUnsigned = false;  // store offset binary (points XOR 0x8000 / 0x80)
  bool reversed = false;    // store the points backwards; the loader turns them round

  LoopMode loopMode = LoopMode::kOneShot;
  uint32_t loopStart = 0;           // points, in playing order
  uint32_t loopEnd = 0;             // points (the loop plays up to, not including, this point)
  uint8_t loopStartSixteenths = 0;  // 0..15, fraction of a point added to loopStart
  uint8_t loopEndSixteenths = 0;

  uint16_t sampleRate = 22050;         // Hz
  int32_t lowFreqMilliHz = 8176;       // note 0
  int32_t highFreqMilliHz = 12543854;  // note 127
  int32_t rootFreqMilliHz = 261626;    // the pitch at which the points sound unchanged

  int8_t balance = 7;  // 0 (left) .. 15 (right); the loader makes it pan balance * 8 + 4

  // Six-stage envelope in archive bytes: stages 0-2 attack/decay/sustain
  // approach, 3-5 release. See patch_units.h for converting times and levels.
  std::array<uint8_t, 6> envelopeRates{};
  std::array<uint8_t, 6> envelopeOffsets{};
  bool envelope = false;  // ModeEnvelope: the envelope is applied
  bool sustain = false;   // ModeSustain (the loader sets it for every looping patch)

  // LFO bytes as stored (patch_units.h has the conversions from Hz, seconds, cents).
  uint8_t tremoloSweep = 0;
  uint8_t tremoloRate = 0;
  uint8_t tremoloDepth = 0;
  uint8_t vibratoSweep = 0;
  uint8_t vibratoRate = 0;
  uint8_t vibratoDepth = 0;

  uint8_t extraModes = 0;  // OR-ed into the mode byte as it stands (e.g. 128)
  uint32_t reserved = 0;   // the four trailing header bytes the loader skips
};

// A patch as it goes into the archive: header bytes and stored data. Tests
// that need inconsistent archives may edit these before building.
struct EncodedPatch {
  std::string name;
  std::array<uint8_t, kPatchHeaderBytes> header{};
  std::vector<uint8_t> data;
};

}  // namespace pocketmidi::soundset
