#include "soundset/patch_units.h"

#include <algorithm>
#include <cmath>

namespace pocketmidi::soundset {

namespace {

// Level change per second of mantissa 1, in offset units (1 << 22 levels).
constexpr double kOffsetsPerSecondPerMantissa = 44100.0 * 1024.0 / 4194304.0;

uint8_t ClampToByte(double value, double low) {
  if (!(value >= low)) return static_cast<uint8_t>(low);  // also NaN
  return static_cast<uint8_t>(std::min(255.0, std::round(value)));
}

}  // namespace

int32_t NoteFreqMilliHz(double note) {
  return static_cast<int32_t>(std::lround(440000.0 * std::pow(2.0, (note - 69.0) / 12.0)));
}

uint8_t EnvelopeRateByte(double offsetUnitsPerSecond) {
  const double mantissa = offsetUnitsPerSecond / kOffsetsPerSecondPerMantissa;
  // Range 3 (shift 0) is the finest; each lower range is 8 times coarser.
  for (int range = 3; range >= 0; --range) {
    const double unit = static_cast<double>(1 << (3 * (3 - range)));
    if (mantissa / unit <= 63.0 || range == 0) {
      const double m = std::clamp(std::round(mantissa / unit), 1.0, 63.0);
      return static_cast<uint8_t>((range << 6) | static_cast<int>(m));
    }
  }
  return 1;
}

double EnvelopeRateSlope(uint8_t rateByte) {
  const int shift = 3 * (3 - (rateByte >> 6));
  return static_cast<double>((rateByte & 63) << shift) * kOffsetsPerSecondPerMantissa;
}

uint8_t EnvelopeOffsetForDecibels(double attenuationDb) {
  const double offset = 255.0 - std::max(0.0, attenuationDb) / kEnvelopeDecibelsPerOffset;
  return ClampToByte(offset, 0.0);
}

uint8_t LfoRateByte(double hertz) { return ClampToByte(hertz * 38.0, 1.0); }

uint8_t LfoSweepByte(double seconds) { return ClampToByte(seconds * 38.0, 0.0); }

uint8_t VibratoDepthByte(double cents) { return ClampToByte(std::abs(cents) * 64.0 / 100.0, 0.0); }

uint8_t TremoloDepthByte(double decibels) {
  return ClampToByte(512.0 * (1.0 - std::pow(10.0, -std::abs(decibels) / 20.0)), 0.0);
}

}  // namespace pocketmidi::soundset
