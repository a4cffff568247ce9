// The render loop: walks the timeline, applies each event at its exact output
// frame, mixes the sounding voices into 1024-frame blocks and hands the
// blocks out as 8-bit or 16-bit PCM, keeping what does not fit for the next
// call. Nothing here allocates, and no loop divides.
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "instruments/instrument_bank.h"
#include "synth/synth_engine.h"
#include "voice/kernel_set.h"

namespace pocketmidi {

namespace {

// Zeroes values accumulators. Plain 16-byte stores where SSE2 is the
// baseline: a block part is a few kilobytes at most, and the library's
// string-instruction clear is no faster there (and counts as one
// instruction per step in instruction-count profiles, which then hide the
// mixing behind it).
inline void ClearAccumulators(int32_t* slots, int32_t values) {
  int32_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (; i + 8 <= values; i += 8) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(slots + i), zero);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(slots + i + 4), zero);
  }
#endif
  if (i < values) std::memset(slots + i, 0, static_cast<size_t>(values - i) * sizeof(int32_t));
}

constexpr int32_t kBlockDelivered = 1;

constexpr int32_t kSongEnded = 14;

// Frames (or f * 1000 / rate) rounded up, in 64 bits so no 32-bit frame
// count can overflow.
inline uint32_t FramesToMsRoundedUp(uint32_t frames, uint32_t rate) {
  if (rate == 0) return 0;
  const uint64_t scaled = static_cast<uint64_t>(frames) * 1000u;
  return static_cast<uint32_t>((scaled + rate - 1) / rate);
}

}  // namespace

int32_t SynthEngine::Render(uint8_t* buffer, uint32_t bytes) {
  outDone = 0;
  outLeft = bytes;
  outCursor = buffer;
  // An engine whose song was never prepared (or failed to prepare) has no
  // timeline: it plays nothing rather than walking a null event array.
  if (nextEvent == nullptr) return 0;

  if (pendingBytes != 0) {
    DeliverBytes(pendingData, pendingBytes, true);
    if (pendingBytes != 0) return static_cast<int32_t>(outDone);
  }
  for (;;) {
    if (RenderUntilBlock() == kSongEnded) break;
    if (pendingBytes != 0) break;
  }
  return static_cast<int32_t>(outDone);
}

int32_t SynthEngine::RenderUntilBlock() {
  for (;;) {
    // After a block that ended inside a gap, the events ahead are not due
    // yet: go straight on rendering the rest of the gap.
    if (gapPending == 0) {
      while (nextEvent->time <= currentSample) {
        if (nextEvent->type == kEndOfSong) {
          // currentSample never passes the end, so the gap here is 0: this
          // only flushes the partial block.
          AddFrames(0);
          return kSongEnded;
        }
        DispatchEvent(*nextEvent);
        ++nextEvent;
      }
    }
    // Song times stay below 2^31 frames, so the gap fits a signed count.
    const int32_t gap = static_cast<int32_t>(nextEvent->time - currentSample);
    const int32_t r = AddFrames(gap);
    if (r == 0) continue;
    // Unload instruments only between blocks, once their last voice is gone.
    if (freeAtOnce != 0 && (releaseSlot[0] != -1 || retiredInstruments != nullptr)) {
      ReleaseFinishedInstruments(*this);
    }
    return r;
  }
}

int32_t SynthEngine::AddFrames(int32_t frames) {
  if (frames == 0) {
    if (mixFrames > 0) {
      MixWaitingVoices(kChannelCount);
      DeliverBytes(reinterpret_cast<uint8_t*>(mixBuffer), static_cast<uint32_t>(mixFrames), false);
    }
    StartBlock();
    gapPending = 0;
    return 0;
  }
  // mixFrames + frames >= 1024, written so that a gap near 2^31 cannot
  // overflow the sum.
  if (frames >= kBlockFrames - mixFrames) {
    MixFrames(kBlockFrames - mixFrames);
    MixWaitingVoices(kChannelCount);
    DeliverBytes(reinterpret_cast<uint8_t*>(mixBuffer), kBlockFrames, false);
    StartBlock();
    gapPending = 1;
    return kBlockDelivered;
  }
  gapPending = 0;
  if (frames < 1) return 0;
  MixFrames(frames);
  return 0;
}

// The accumulators of the frames are cleared; the voices that cannot wait
// are mixed into them, the others later.
void SynthEngine::MixFrames(int32_t frames) {
  const int32_t values = (formatFlags & kFormatMono) != 0 ? frames : 2 * frames;
  ClearAccumulators(mixCursor, values);
  callStarts[callCount++] = static_cast<int16_t>(mixFrames);
  mixFrames += frames;
  mixCursor += values;
  MixVoicesThatCannotWait();
  currentSample += static_cast<uint32_t>(frames);
}

void SynthEngine::DeliverBytes(uint8_t* data, uint32_t count, bool copyOnly) {
  uint32_t byteCount = count;
  if (!copyOnly) {
    // Converted in place: output value i lands at or before accumulator i's
    // own bytes, and each accumulator is read before anything overwrites it.
    const uint32_t values = (formatFlags & kFormatMono) != 0 ? count : 2 * count;
    if ((formatFlags & kFormat16Bit) != 0) {
      kernels->convert16(data, values);
      byteCount = 2 * values;
    } else {
      kernels->convert8(data, values);
      // Output stays sample-pair aligned: an odd mono 8-bit flush loses its
      // last sample.
      byteCount = values & ~1u;
    }
  }

  if (byteCount > outLeft) {
    if (outLeft != 0) std::memcpy(outCursor, data, outLeft);
    pendingBytes = byteCount - outLeft;
    pendingData = data + outLeft;
    outDone += outLeft;
    outLeft = 0;
  } else {
    if (byteCount != 0) std::memcpy(outCursor, data, byteCount);
    outLeft -= byteCount;
    outCursor += byteCount;
    outDone += byteCount;
    pendingBytes = 0;
  }
}

uint32_t SynthEngine::PositionMs() const { return FramesToMsRoundedUp(currentSample, sampleRate); }

uint32_t SynthEngine::DurationMs() const { return FramesToMsRoundedUp(songSamples, sampleRate); }

}  // namespace pocketmidi
