// Channel events: what each timeline event does to the 16 channels and to
// the voices already sounding (release, sustain, cut, controllers). Starting
// notes is note_start.cpp, seeking engine_seek.cpp.
//
// Every search over the voice pool runs from the highest index down.
#include <cstdint>

#include "instruments/instrument.h"
#include "song/song_event.h"
#include "synth/channel_controls.h"
#include "synth/slot_index.h"
#include "synth/synth_engine.h"
#include "voice/envelope.h"
#include "voice/pitch.h"

namespace pocketmidi {

namespace {

inline bool HasEnvelope(const Voice& voice) {
  return voice.sample != nullptr && (voice.sample->modes & kModeEnvelope) != 0;
}

// Key pressure changes the loudness of the first Playing voice of the note
// only; other voices of the same note keep theirs.
void ApplyKeyPressure(SynthEngine& engine, int ch, int32_t note, int32_t pressure) {
  for (int32_t i = engine.voiceCount - 1; i >= 0; --i) {
    Voice& voice = engine.voices[i];
    if (voice.state == kVoicePlaying && voice.channel == ch && voice.note == note) {
      voice.velocity = static_cast<uint8_t>(pressure);
      ComputeVoiceAmp(engine, voice);
      ApplyGains(engine, voice);
      return;
    }
  }
}

// Pedal up: every note the pedal was holding starts its release.
void ReleaseHeldVoices(SynthEngine& engine, int ch) {
  for (int32_t i = engine.voiceCount - 1; i >= 0; --i) {
    Voice& voice = engine.voices[i];
    if (voice.state == kVoiceHeld && voice.channel == ch) engine.ReleaseVoice(voice);
  }
}

// A new bend retunes every sounding voice of the channel at once.
void RetuneChannelVoices(SynthEngine& engine, int ch) {
  for (int32_t i = engine.voiceCount - 1; i >= 0; --i) {
    const Voice& voice = engine.voices[i];
    if (voice.state != kVoiceFree && voice.channel == ch) {
      RecomputeStep(engine, i);
      engine.UpdateVoiceWait(engine.voices[i]);
    }
  }
}

void CutChannelVoices(SynthEngine& engine, int ch) {
  for (int32_t i = engine.voiceCount - 1; i >= 0; --i) {
    Voice& voice = engine.voices[i];
    if (voice.channel == ch && voice.state != kVoiceFree && voice.state != kVoiceDying) {
      engine.CutVoice(voice);
    }
  }
}

// All notes off: as if each Playing note of the channel got its note-off.
void EndChannelNotes(SynthEngine& engine, int ch) {
  const bool pedalDown = engine.channels[ch].sustain != 0;
  for (int32_t i = engine.voiceCount - 1; i >= 0; --i) {
    Voice& voice = engine.voices[i];
    if (voice.state != kVoicePlaying || voice.channel != ch) continue;
    if (pedalDown) {
      voice.state = kVoiceHeld;
    } else {
      engine.ReleaseVoice(voice);
    }
  }
}

}  // namespace

void SynthEngine::DispatchEvent(const SynthEvent& event) {
  const int ch = event.channel;
  // Only the tempo event (gone after preparation) uses the channel byte for
  // anything else; never index past the 16 channels.
  if (ch >= kChannelCount) return;
  // Waiting voices that the event reads or changes catch up first: those of
  // its channel, and for a note-on those its search for a voice reads.
  if (event.type == kNoteOn && event.dataByte2 != 0) {
    MixVoicesForNoteOn(ch);
  } else {
    MixWaitingVoices(ch);
  }
  // The channel changes first, so the voices below see its new state.
  ApplyChannelEvent(channels[ch], ch, event);
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
      ApplyKeyPressure(*this, ch, a, b);
      break;
    case kVolume:
    case kExpression:
      UpdateChannelAmp(ch);
      break;
    case kSustain:
      if (a == 0) ReleaseHeldVoices(*this, ch);
      break;
    case kPitchBend:
      RetuneChannelVoices(*this, ch);
      break;
    case kAllSoundOff:
      CutChannelVoices(*this, ch);
      break;
    case kAllNotesOff:
      EndChannelNotes(*this, ch);
      break;
    default:
      // Pan, program and bend range wait for the next note or bend; the
      // controller reset leaves sounding voices alone; the list head does
      // nothing; EndOfSong is the render loop's.
      break;
  }
}

// Release-list bookkeeping under FREEATONCE: when event is the song's last
// note-ending event of its program or drum note, the instrument is queued
// to be unloaded once the voice playing that note is Free.
void SynthEngine::RecordLastNoteOff(const SynthEvent& event) {
  const int ch = event.channel;
  const int32_t note = event.dataByte1;
  // Entries 0..15 fill first; once they are all taken, entry 16 is
  // overwritten by every further addition.
  int32_t k = 16;
  for (int32_t i = 0; i < 16; ++i) {
    if (releaseSlot[i] == -1) {
      k = i;
      break;
    }
  }
  if (ch == kDrumChannel) {
    if (lastDrumNoteOff[SlotIndex(note)] != &event) return;
    releaseIsDrum[k] = 1;
    releaseSlot[k] = SlotIndex(note);
  } else {
    const int32_t program = channels[ch].program;
    if (lastProgramNoteOff[SlotIndex(program)] != &event) return;
    releaseIsDrum[k] = 0;
    releaseSlot[k] = SlotIndex(program);
  }
  // The lowest-numbered voice of the note; none found keeps the old entry.
  for (int32_t i = 0; i < voiceCount; ++i) {
    const Voice& voice = voices[i];
    if (voice.state == kVoicePlaying && voice.channel == ch && voice.note == note) {
      releaseVoice[k] = i;
      return;
    }
  }
}

void SynthEngine::NoteOff(const SynthEvent& event) {
  const int ch = event.channel;
  const int32_t note = event.dataByte1;
  if (freeAtOnce != 0 && lastProgramNoteOff != nullptr && lastDrumNoteOff != nullptr) {
    RecordLastNoteOff(event);
  }
  // Only the first Playing voice of the note (highest index) ends.
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

void SynthEngine::CutVoice(Voice& voice) {
  voice.state = kVoiceDying;
  UpdateVoiceWait(voice);
}

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

void SynthEngine::ResetControllers(int channel) { ResetChannelControllers(channels[channel]); }

}  // namespace pocketmidi
