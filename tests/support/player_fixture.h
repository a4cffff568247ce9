// Player tests through the exported functions: an instrument set and songs
// in a temporary directory, a recorder for progress reports, and loading
// with the audio device chosen through POCKETMIDI_AUDIO.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/utf16_path.h"
#include "pocketmidi.h"
#include "support/audio_env.h"
#include "support/render_fixture.h"

namespace pocketmidi::test::player {

using namespace pocketmidi::test::render;

using Report = std::pair<int32_t, int32_t>;  // (durationMs, positionMs)

// Collects (duration, position) reports from any thread.
class Recorder {
 public:
  static void Callback(int32_t durationMs, int32_t positionMs, void* user) {
    auto* self = static_cast<Recorder*>(user);
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->reports_.emplace_back(durationMs, positionMs);
    self->ends_ += positionMs == -1;
    self->changed_.notify_all();
  }

  // Waits until `count` end reports (-1) have arrived; false on timeout.
  bool WaitForEnds(size_t count = 1, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return ends_ >= count; });
  }

  std::vector<Report> reports() {
    std::lock_guard<std::mutex> lock(mutex_);
    return reports_;
  }
  size_t Ends() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ends_;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    reports_.clear();
    ends_ = 0;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Report> reports_;
  size_t ends_ = 0;  // reports of the end (-1)
};

// An instrument set (22050 Hz, 16-bit stereo unless changed) with songs.
class PlayerSet {
 public:
  explicit PlayerSet(ss::SoundSetConfig config = UnityConfig("s"))
      : set_(config, {Sine("s", 84)}) {}

  std::string Directory() const { return set_.Directory(); }
  std::u16string Directory16() const { return Utf8ToUtf16(set_.Directory()); }
  // One sustained sine note from 0 to durationMs: the song lasts exactly that.
  std::string Song(uint32_t durationMs) const {
    const std::string name = "tone" + std::to_string(durationMs) + ".mid";
    return set_.WriteSong(
        SongBytes(With(Loud(0), {On(0, 0, 60), Off(durationMs, 0, 60)}), durationMs), name);
  }
  std::string WriteFile(const std::string& name, const std::string& bytes) const {
    return set_.WriteSong(bytes, name);
  }

  MIDI_HANDLE Load(const std::string& song, Recorder* recorder = nullptr,
                   const FormatOverride* formatOverride = nullptr) const {
    const std::u16string path = Utf8ToUtf16(song);
    const std::u16string dir = Directory16();
    return MIDI_Load(path.c_str(), dir.c_str(), formatOverride,
                     recorder ? &Recorder::Callback : nullptr, recorder);
  }

 private:
  RenderSet set_;
};

// The positions a pass reports after each block when every render fills its
// buffer: startMs + played * 8000 / bitsPerSecond, at most the duration.
inline std::vector<int32_t> BlockPositions(int32_t startMs, int64_t passBytes, int64_t pcmBytes,
                                           int64_t bufferBytes, int64_t bitsPerSecond,
                                           int32_t durationMs) {
  std::vector<int32_t> positions;
  int64_t played = 0;
  while (played < passBytes && played < pcmBytes) {
    played += std::min(bufferBytes, pcmBytes - played);
    const int64_t position = startMs + played * 8000 / bitsPerSecond;
    positions.push_back(static_cast<int32_t>(std::min<int64_t>(position, durationMs)));
  }
  return positions;
}

}  // namespace pocketmidi::test::player
