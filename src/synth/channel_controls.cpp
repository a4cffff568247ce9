#include "synth/channel_controls.h"

#include "song/song_event.h"

namespace pocketmidi {

void ApplyChannelEvent(ChannelState& channel, int ch, const SynthEvent& event) {
  const int32_t a = event.dataByte1;
  switch (event.type) {
    case kVolume:
      channel.volume = a;
      break;
    case kPan:
      channel.pan = a;
      break;
    case kSustain:
      channel.sustain = a;
      break;
    case kExpression:
      channel.expression = a;
      break;
    case kPitchBend:
      channel.pitchBend = a + 128 * event.dataByte2;
      channel.bendFactor = 0;
      break;
    case kPitchBendRange:
      channel.bendRange = a;
      channel.bendFactor = 0;
      break;
    case kProgramChange:
      // The drum channel always plays the drum set.
      if (ch != kDrumChannel) channel.program = a;
      break;
    case kResetControllers:
      ResetChannelControllers(channel);
      break;
    default:
      break;  // notes, key pressure, sound off, notes off, the list head
  }
}

void ResetChannelControllers(ChannelState& channel) {
  channel.volume = 90;
  channel.expression = 127;
  channel.sustain = 0;
  channel.pitchBend = 8192;
  channel.bendFactor = 0;
}

}  // namespace pocketmidi
