// The short fade of a voice that is being cut (stolen or silenced at once):
// its gains fall to zero over the few points it has left instead of stopping
// with a click.
#include <cstdint>

#include "synth/synth_engine.h"
#include "voice/mix_kernel_forms.h"
#include "voice/voice.h"

namespace pocketmidi {

namespace {

// One gain on one or two slots per point; stops once the gain is negative.
void RampSingleGain(const int16_t* points, int32_t* slots, int32_t stride, bool both,
                    int32_t gain, int32_t delta, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    gain += delta;
    if (gain < 0) return;
    const uint32_t g = static_cast<uint32_t>(gain);
    AddScaled(slots[stride * i], PointBits(points[i]), g);
    if (both) AddScaled(slots[stride * i + 1], PointBits(points[i]), g);
  }
}

}  // namespace

void RampOut(SynthEngine& engine, const int16_t* points, int32_t* buffer, int32_t v,
             int32_t count) {
  if (count <= 0) return;
  const Voice& voice = engine.voices[v];
  int32_t left = voice.mixLeft;
  int32_t deltaLeft = -(left / count);
  if (deltaLeft == 0) deltaLeft = -1;

  if ((engine.formatFlags & kFormatMono) != 0) {
    RampSingleGain(points, buffer, 1, false, left, deltaLeft, count);
    return;
  }
  switch (voice.panMode) {
    case kPanSpread: {
      // Both gains fall together and rest at 0; the right one is not forced
      // to move, so a right gain below count stays where it is.
      int32_t right = voice.mixRight;
      const int32_t deltaRight = -(right / count);
      for (int32_t i = 0; i < count; ++i) {
        left += deltaLeft;
        if (left < 0) left = 0;
        right += deltaRight;
        if (right < 0) right = 0;
        const uint32_t point = PointBits(points[i]);
        AddScaled(buffer[2 * i], point, static_cast<uint32_t>(left));
        AddScaled(buffer[2 * i + 1], point, static_cast<uint32_t>(right));
      }
      return;
    }
    case kPanLeftOnly:
      RampSingleGain(points, buffer, 2, false, left, deltaLeft, count);
      return;
    case kPanRightOnly:
      RampSingleGain(points, buffer + 1, 2, false, left, deltaLeft, count);
      return;
    default:
      RampSingleGain(points, buffer, 2, true, left, deltaLeft, count);
      return;
  }
}

}  // namespace pocketmidi
