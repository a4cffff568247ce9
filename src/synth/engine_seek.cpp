// Channel and voice reset, and positioning the engine at any frame of the
// song: the state-changing events before that frame are replayed without
// sounding anything.
#include <cstdint>

#include "song/song_event.h"
#include "synth/synth_engine.h"

namespace pocketmidi {

void SynthEngine::ResetChannels() {
  for (int ch = 0; ch < kChannelCount; ++ch) {
    ResetControllers(ch);
    channels[ch].program = defaultProgram;
    channels[ch].pan = -1;
    channels[ch].bendRange = 2;
  }
  if (voices != nullptr) {
    for (int32_t i = 0; i < voiceCount; ++i) voices[i].state = kVoiceFree;
  }
  for (int i = 0; i < kReleaseListSize; ++i) {
    releaseIsDrum[i] = 0;
    releaseSlot[i] = -1;
    releaseVoice[i] = -1;
  }
}

void SynthEngine::Seek(uint32_t frame) {
  ResetChannels();
  currentSample = frame;
  mixCursor = mixBuffer;
  mixFrames = 0;
  nextEvent = events;
  pendingBytes = 0;  // converted output not yet delivered is discarded
  if (frame != 0 && events != nullptr) SkipTo(frame);
}

void SynthEngine::SkipTo(uint32_t frame) {
  if (voices != nullptr) {
    for (int32_t i = 0; i < voiceCount; ++i) voices[i].state = kVoiceFree;
  }
  // Replays only what changes channel state; no voice is touched.
  while (nextEvent->time < frame) {
    const SynthEvent& event = *nextEvent;
    if (event.type == kEndOfSong) {
      // Past the end: stay on EndOfSong at the song's last frame.
      currentSample = event.time;
      return;
    }
    if (event.channel < kChannelCount) {
      ChannelState& channel = channels[event.channel];
      switch (event.type) {
        case kVolume:
          channel.volume = event.dataByte1;
          break;
        case kPan:
          channel.pan = event.dataByte1;
          break;
        case kSustain:
          channel.sustain = event.dataByte1;
          break;
        case kExpression:
          channel.expression = event.dataByte1;
          break;
        case kPitchBend:
          channel.pitchBend = event.dataByte1 + 128 * event.dataByte2;
          channel.bendFactor = 0;
          break;
        case kPitchBendRange:
          channel.bendRange = event.dataByte1;
          channel.bendFactor = 0;
          break;
        case kProgramChange:
          if (event.channel != kDrumChannel) channel.program = event.dataByte1;
          break;
        case kResetControllers:
          ResetControllers(event.channel);
          break;
        default:
          break;  // notes, pressure, sound off, notes off
      }
    }
    ++nextEvent;
  }
  // The last event before the target (a note included) is dispatched again
  // when rendering resumes, at the target frame.
  if (nextEvent != events) --nextEvent;
  currentSample = frame;
}

}  // namespace pocketmidi
