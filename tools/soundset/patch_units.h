// Conversions from musical units to the patch archive's bytes, following how
// the loader and the voice renderer read those bytes back:
//  - envelope level: offset byte o is level o << 22 of 2^30; the renderer's
//    gain index is level >> 23 (0..127) on a 36.12 dB exponential scale, so
//    one offset unit is 0.1422 dB and offset 0 is -36 dB, not silence;
//  - envelope rate byte r: mantissa r & 63 shifted left by 3 * (3 - (r >> 6)),
//    m, moves the level by m * 44100 * 1024 per second (m * 10.77 offset units
//    per second) whatever the output rate; rate 0 freezes the envelope;
//  - tremolo and vibrato rate bytes: r / 38 Hz; sweep bytes: s / 38 seconds;
//    vibrato depth: d / 64 semitones; tremolo depth: the gain dips to
//    1 - d / 512.
#pragma once

#include <cstdint>

namespace pocketmidi::soundset {

constexpr double kEnvelopeDecibelsPerOffset = 36.1236 / 254.0;

// 440000 * 2^((note - 69) / 12), rounded; notes may be fractional.
int32_t NoteFreqMilliHz(double note);

// The rate byte whose slope is nearest to offsetUnitsPerSecond, never 0
// (which would freeze the envelope): 1..255.
uint8_t EnvelopeRateByte(double offsetUnitsPerSecond);
// The slope of a rate byte in offset units per second.
double EnvelopeRateSlope(uint8_t rateByte);

// The offset byte of a level attenuated by decibels from full (offset 255).
uint8_t EnvelopeOffsetForDecibels(double attenuationDb);

uint8_t LfoRateByte(double hertz);          // 1..255
uint8_t LfoSweepByte(double seconds);       // 0 = none
uint8_t VibratoDepthByte(double cents);     // 0..255
uint8_t TremoloDepthByte(double decibels);  // 0..255

}  // namespace pocketmidi::soundset
