// Channel events: what each timeline event does to the 16 channels and to
// the voices already sounding (release, sustain, cut, controllers). Starting
// notes is note_start.cpp, seeking engine_seek.cpp.
//
// Every search over the voice pool runs from the highest index down.
#include <cstdint>

#include "instruments/instrument.h"
#include "song/song_event.h"
#include "synth/slot_index.h"
#include "synth/synth_engine.h"
#include "voice/envelope.h"
#include "voice/pitch.h"

namespace pocketmidi {

namespace {

inline bool HasEnvelope(const Voice& voice) {
  return voice.sample != nullptr && (voice.sample->modes & kModeEnvelope) != 0;
}

}  // namespace

void SynthEngine::DispatchEvent(const SynthEvent& event) {
  const int ch = event.channel;
  // Only the tempo event (gone after preparation) uses the channel byte for
  // anything else; never index past the 16 channels.
  if (ch >= kChannelCount) return;
  ChannelState& channel = channels[ch];
  const int32_t a = event.dataByte1;
  const int32_t b = event.dataByte2;

  switch (event.type) {
    case kNoteOn:
      if (b != 0) {
        NoteOn(event);
      } else {
        NoteOff(event);
      }
      break;
    case kNoteOff:
      NoteOff(event);
      break;
    case kKeyPressure:
      for (int32_t i = voiceCount - 1; i >= 0; --i) {
        Voice& voice = voices[i];
        if (voice.state == kVoicePlaying && voice.channel == ch && voice.note == a) {
          voice.velocity = static_cast<uint8_t>(b);
          ComputeVoiceAmp(*this, voice);
          ApplyGains(*this, voice);
          break;
        }
      }
      break;
    case kVolume:
      channel.volume = a;
      UpdateChannelAmp(ch);
      break;
    case kPan:
      channel.pan = a;  // sounding voices keep their pan
      break;
    case kSustain:
      channel.sustain = a;
      if (a == 0) {
        for (int32_t i = voiceCount - 1; i >= 0; --i) {
          if (voices[i].state == kVoiceHeld && voices[i].channel == ch) ReleaseVoice(voices[i]);
        }
      }
      break;
    case kExpression:
      channel.expression = a;
      UpdateChannelAmp(ch);
      break;
    case kPitchBend:
      channel.pitchBend = a + 128 * b;
      channel.bendFactor = 0;
      for (int32_t i = voiceCount - 1; i >= 0; --i) {
        if (voices[i].state != kVoiceFree && voices[i].channel == ch) RecomputeStep(*this, i);
      }
      break;
    case kProgramChange:
      if (ch != kDrumChannel) channel.program = a;
      break;
    case kPitchBendRange:
      channel.bendRange = a;  // takes effect with the next bend
      channel.bendFactor = 0;
      break;
    case kAllSoundOff:
      for (int32_t i = voiceCount - 1; i >= 0; --i) {
        Voice& voice = voices[i];
        if (voice.channel == ch && voice.state != kVoiceFree && voice.state != kVoiceDying) {
          CutVoice(voice);
        }
      }
      break;
    case kResetControllers:
      ResetControllers(ch);
      break;
    case kAllNotesOff:
      for (int32_t i = voiceCount - 1; i >= 0; --i) {
        Voice& voice = voices[i];
        if (voice.state != kVoicePlaying || voice.channel != ch) continue;
        if (channel.sustain != 0) {
          voice.state = kVoiceHeld;
        } else {
          ReleaseVoice(voice);
        }
      }
      break;
    default:
      break;  // the list head; EndOfSong is the render loop's
  }
}
void SynthEngine::NoteOff(const SynthEvent& event) {
  const int ch = event.channel;
  const int32_t note = event.dataByte1;

  if (freeAtOnce != 0 && lastProgramNoteOff != nullptr && lastDrumNoteOff != nullptr) {
    // Entries 0..15 fill first; once they are all taken, entry 16 is
    // overwritten by every further addition.
    int32_t k = 16;
    for (int32_t i = 0; i < 16; ++i) {
      if (releaseSlot[i] == -1) {
        k = i;
        break;
      }
    }
    bool recorded = false;
    if (ch == kDrumChannel) {
      if (lastDrumNoteOff[SlotIndex(note)] == &event) {
        releaseIsDrum[k] = 1;
        releaseSlot[k] = SlotIndex(note);
        recorded = true;
      }
    } else {
      const int32_t program = channels[ch].program;
      if (lastProgramNoteOff[SlotIndex(program)] == &event) {
        releaseIsDrum[k] = 0;
        releaseSlot[k] = SlotIndex(program);
        recorded = true;
      }
    }
    if (recorded) {
      for (int32_t i = 0; i < voiceCount; ++i) {
        const Voice& voice = voices[i];
        if (voice.state == kVoicePlaying && voice.channel == ch && voice.note == note) {
          releaseVoice[k] = i;
          break;
        }
      }
    }
  }

  for (int32_t i = voiceCount - 1; i >= 0; --i) {
    Voice& voice = voices[i];
    if (voice.state != kVoicePlaying || voice.channel != ch || voice.note != note) continue;
    if (channels[ch].sustain != 0) {
      voice.state = kVoiceHeld;
    } else {
      ReleaseVoice(voice);
    }
    return;
  }
}

void SynthEngine::ReleaseVoice(Voice& voice) {
  if (HasEnvelope(voice)) {
    voice.envStage = 3;
    voice.state = kVoiceReleasing;
    NextEnvelopeStage(*this, voice);
    ApplyGains(*this, voice);
  } else {
    voice.state = kVoiceReleasing;  // ends with its sample
  }
}

void SynthEngine::CutVoice(Voice& voice) { voice.state = kVoiceDying; }

void SynthEngine::UpdateChannelAmp(int channel) {
  for (int32_t i = voiceCount - 1; i >= 0; --i) {
    Voice& voice = voices[i];
    if (voice.channel != channel) continue;
    if (voice.state == kVoicePlaying || voice.state == kVoiceHeld) {
      ComputeVoiceAmp(*this, voice);
      ApplyGains(*this, voice);
    }
  }
}

void SynthEngine::ResetControllers(int channel) {
  ChannelState& state = channels[channel];
  state.volume = 90;
  state.expression = 127;
  state.sustain = 0;
  state.pitchBend = 8192;
  state.bendFactor = 0;
}

}  // namespace pocketmidi
