// Playback side of the MIDI decoder: builds the song and the synthesizer on
// open, then answers the player's requests for PCM, seeking and timing.
#include <new>

#include "api/midi_decoder.h"
#include "instruments/instrument_bank.h"
#include "song/midi_song.h"
#include "synth/engine_result.h"
#include "synth/synth_engine.h"

namespace pocketmidi {
namespace {

int32_t WrapMul(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

}  // namespace

int32_t MidiDecoder::Open(FileStream* stream, const FormatOverride* formatOverride) {
  song = new (std::nothrow) MidiSong();
  engine = new (std::nothrow) SynthEngine(configDirectory);
  if (song == nullptr || engine == nullptr) {
    delete song;
    delete engine;
    song = nullptr;
    engine = nullptr;
    return kDecoderNoMemory;
  }
  // The configuration and instrument steps note their own failures in the
  // engine's openFailure; the song steps are noted here.
  if (engine->LoadConfiguration() != kEngineOk) return kDecoderFailed;
  engine->ApplyFormatOverride(formatOverride);
  song->spMidiEnabled = engine->SpMidiEnabled();
  song->polyphonyLimit = engine->VoiceCount();
  const SongEventList* list = song->Load(stream, nullptr);
  const int32_t prepared = engine->PrepareSong(list);
  if (IsEngineFailure(prepared)) {
    RecordFailure(engine->openFailure,
                  list == nullptr ? OpenStage::kSongRead : OpenStage::kSongPreparation, prepared);
    return kDecoderFailed;
  }
  engine->channelRanks = song->ChannelOrder();
  song->ReleaseEvents();
  if (IsEngineFailure(LoadInstruments(*engine))) return kDecoderFailed;
  engine->Seek(0);
  return kDecoderOpened;
}

OpenFailure MidiDecoder::LastOpenFailure() const {
  if (engine != nullptr) return engine->openFailure;
  // A failed open without an engine is one whose allocations failed.
  OpenFailure failure{};
  RecordFailure(failure, OpenStage::kAllocation, kDecoderNoMemory);
  return failure;
}

int32_t MidiDecoder::Render(uint8_t* buffer, uint32_t capacity) {
  return engine->Render(buffer, capacity);
}

int32_t MidiDecoder::Seek(int32_t ms, int32_t origin) {
  const int32_t duration = GetDuration();
  const int32_t position = GetPosition();
  int32_t target = 0;
  switch (origin) {
    case kSeekFromStart:
      target = ms <= 0 ? 0 : (ms < duration ? ms : duration);
      break;
    case kSeekFromCurrent:
      if (ms <= -position) {
        target = 0;
      } else if (ms >= duration - position) {
        target = duration;
      } else {
        target = position + ms;
      }
      break;
    case kSeekFromEnd:
      if (ms >= 0) {
        target = duration;
      } else if (ms <= -duration) {
        target = 0;
      } else {
        target = duration + ms;
      }
      break;
    default:
      target = 0;
      break;
  }
  // rate * target would overflow 32 bits beyond ~48 s at 44100 Hz; split
  // the rate into thousands and the remainder instead.
  AudioFormat format;
  GetFormat(&format);
  const int32_t rate = static_cast<int32_t>(format.sampleRate);
  // The products wrap at 32 bits as the handheld's arithmetic does; beyond
  // about 11 hours at 22050 Hz the remainder term wraps (never undefined).
  const int32_t whole = WrapMul(rate / 1000, target);
  const int32_t part = WrapMul(rate % 1000, target) / 1000;
  const int32_t frame = static_cast<int32_t>(static_cast<uint32_t>(whole) + static_cast<uint32_t>(part));
  engine->Seek(static_cast<uint32_t>(frame));
  return 0;
}

int32_t MidiDecoder::GetPosition() { return static_cast<int32_t>(engine->PositionMs()); }

int32_t MidiDecoder::GetDuration() { return static_cast<int32_t>(engine->DurationMs()); }

int32_t MidiDecoder::GetFormat(AudioFormat* format) {
  format->formatCode = 2;
  format->channels = (engine->formatFlags & kFormatMono) ? 1 : 2;
  format->sampleRate = engine->sampleRate;
  format->bitsPerSample = (engine->formatFlags & kFormat16Bit) ? 16 : 8;
  return 1;
}

// The song goes first: the engine keeps a pointer to its channel ranks but
// never reads them outside rendering.
int32_t MidiDecoder::Close() {
  if (song != nullptr) {
    song->ReleaseEvents();
    delete song;
    song = nullptr;
  }
  if (engine != nullptr) {
    delete engine;
    engine = nullptr;
  }
  return 0;
}

}  // namespace pocketmidi
