// The software synthesizer for one song: output format, instrument slots,
// channel state, voice pool, the song's timeline in output frames, the mix
// block and the bookkeeping of one render call.
//
// Operations are split by concern over several files: construction
// (synth_engine.cpp), song preparation (song_preparation.cpp),
// configuration (engine_configuration.cpp), channel events
// (channel_events.cpp; their effect on channel state alone is
// channel_controls.cpp), note start and voice allocation (note_start.cpp),
// reset and seeking (engine_seek.cpp), the render loop (render_loop.cpp).
// Instruments, voices and kernels are free functions in instruments/ and
// voice/ that take the engine.
#pragma once

#include <cstddef>
#include <cstdint>

#include "instruments/instrument.h"
#include "platform/path_limits.h"
#include "synth/open_failure.h"
#include "synth/synth_event.h"
#include "voice/kernel_set.h"
#include "voice/voice.h"

struct FormatOverride;

namespace pocketmidi {

struct FileStream;
struct KernelSet;
struct IniFile;
struct SongEventList;

constexpr int kChannelCount = 16;
constexpr int kDrumChannel = 9;
constexpr int kBlockFrames = 1024;
constexpr int kReleaseListSize = 48;

// formatFlags bits.
constexpr uint32_t kFormatMono = 1;
constexpr uint32_t kFormat16Bit = 4;

struct ChannelState {
  int32_t program;
  int32_t volume;
  int32_t sustain;
  int32_t pan;         // -1 = not set: each sample's own pan applies
  int32_t pitchBend;   // 0..16383, centre 8192
  int32_t expression;
  int32_t bendRange;   // semitones
  int32_t bendFactor;  // Q20 cache; 0 = recompute before use
};

struct InstrumentSlot {
  char name[16];  // empty = nothing configured
  // null = nothing to play, PendingInstrument() = needed but not loaded.
  Instrument* instrument;
  int32_t note;   // -1 = not configured (so for every setting below)
  int32_t amp;
  int32_t pan;
  int32_t stripLoop;
  int32_t stripEnvelope;
  int32_t stripTail;
};

class SynthEngine {
 public:
  explicit SynthEngine(const char16_t* directory);
  ~SynthEngine();
  SynthEngine(const SynthEngine&) = delete;
  SynthEngine& operator=(const SynthEngine&) = delete;

  uint32_t SpMidiEnabled() const { return spMidiEnabled; }
  int32_t VoiceCount() const { return voiceCount; }
  int32_t PrepareSong(const SongEventList* list);
  bool SizeVoicePool(int32_t peak);
  bool FindLastNoteOffs();
  static int32_t SongDurationMs(const SongEventList* list);

  // Configuration.
  int32_t LoadConfiguration();
  int32_t LoadPatchList(const char* path);
  int32_t ReadBootstrap(const IniFile* file, const char* bootstrapPath, const char16_t* base,
                        std::size_t baseUnits);
  int32_t ApplyFormatOverride(const FormatOverride* override);

  // Channel events and seeking.
  void DispatchEvent(const SynthEvent& event);
  void Seek(uint32_t frame);
  void NoteOn(const SynthEvent& event);
  void StartNote(const SynthEvent& event, Voice& voice);
  const PatchSample* SelectSample(const Voice& voice, const Instrument& instrument) const;
  void NoteOff(const SynthEvent& event);
  void RecordLastNoteOff(const SynthEvent& event);
  void ReleaseVoice(Voice& voice);
  void CutVoice(Voice& voice);
  void UpdateChannelAmp(int channel);
  void ResetControllers(int channel);
  void ResetChannels();
  void SkipTo(uint32_t frame);

  // Render loop. A voice's mixing may wait: voices are mixed up to the
  // engine's frame only when an event needs them (MixWaitingVoices) and at
  // the end of each block.
  int32_t Render(uint8_t* buffer, uint32_t bytes);
  uint32_t PositionMs() const;
  uint32_t DurationMs() const;
  int32_t RenderUntilBlock();
  int32_t AddFrames(int32_t frames);
  void MixFrames(int32_t frames);
  // Waiting voices (waiting_voices.cpp).
  void MixVoicesThatCannotWait();
  void UpdateVoiceWait(Voice& voice);
  void FreeAllVoices();
  void MixWaitingVoices(int channel);  // kChannelCount: every voice
  void MixVoicesForNoteOn(int channel);
  bool MayHaveEnded(const Voice& voice) const;
  void MixVoiceUpTo(int32_t v, int32_t frames);
  int64_t EnvelopeRestFrame(const Voice& voice, int32_t from, int32_t to, bool* ends) const;
  int32_t VoiceCallEnd(const Voice& voice, int32_t from, int32_t to) const;
  void StartBlock();
  void DeliverBytes(uint8_t* data, uint32_t count, bool copyOnly);

  // State, in the order of the record it stands for.
  InstrumentSlot toneSlots[128];
  InstrumentSlot drumSlots[128];
  uint32_t sampleRate;
  uint32_t formatFlags;
  const int32_t* channelRanks;  // 16 ranks owned by the song
  uint8_t gapPending;
  uint32_t songSamples;
  uint32_t currentSample;
  uint32_t archiveHeader;
  uint32_t spMidiEnabled;
  uint32_t loadAll;
  uint32_t freeAtOnce;
  const SynthEvent** lastProgramNoteOff;  // 128 entries, freeAtOnce only
  const SynthEvent** lastDrumNoteOff;
  uint32_t releaseIsDrum[kReleaseListSize];
  int32_t releaseSlot[kReleaseListSize];
  int32_t releaseVoice[kReleaseListSize];
  uint32_t outDone;
  uint8_t* outCursor;
  uint32_t outLeft;
  uint8_t* pendingData;
  uint32_t pendingBytes;
  char16_t directory[kMaxPathUnits];
  int32_t eventCount;
  uint32_t samplesPerTick;
  uint32_t samplesPerTickFrac;
  ChannelState channels[kChannelCount];
  Voice* voices;
  int32_t voiceCount;
  int32_t controlRatio;
  // With room for the mix kernels' overshoot past the block (kept unchanged).
  int32_t mixBuffer[2 * kBlockFrames + kMixOvershoot];
  int32_t* mixCursor;
  int32_t mixFrames;
  // Voices whose mixEveryEvent is set (a free voice's may stay set).
  int32_t voicesMixedAtEveryEvent;
  // Where each of the block's calls of MixFrames began, in order.
  int16_t callStarts[kBlockFrames];
  int32_t callCount;
  SynthEvent* events;
  const SynthEvent* nextEvent;
  CacheNode* instrumentCache[128];
  // Nodes already unloaded from the cache whose instrument a voice may still
  // be reading (a release tail): their memory is freed once no voice plays it.
  CacheNode* retiredInstruments;
  int16_t cacheHashHint;
  int32_t defaultProgram;
  FileStream* patchArchive;
  PatchIndexEntry* patchIndex;
  int32_t patchIndexCount;
  // With room for the interpolation kernels' overshoot past the last run.
  int16_t ResampleBuffer[kBlockFrames + kInterpolateOvershoot];
  const KernelSet* kernels;  // the render path's inner loops, never null
  // Why the last configuration, preparation or instrument load failed; for
  // diagnosis only.
  OpenFailure openFailure;
};

}  // namespace pocketmidi
