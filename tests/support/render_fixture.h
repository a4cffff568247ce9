// End-to-end rendering helpers: a generated instrument set (configuration
// files and patch archive) in a temporary directory, songs written as SMF
// files timed in milliseconds, and a MIDI decoder opened over them.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "api/midi_decoder.h"
#include "io/file_stream.h"
#include "platform/utf16_path.h"
#include "soundset/config_writer.h"
#include "soundset/patch_archive_writer.h"
#include "support/smf_writer.h"
#include "support/temp_directory.h"

namespace pocketmidi::test::render {

namespace ss = pocketmidi::soundset;

// One channel message at an absolute time. Songs use division 1000 and a
// tempo of one second per quarter note, so a tick is a millisecond and at
// 22050 Hz a multiple of 20 ms is an exact number of frames.
struct Msg {
  uint32_t ms;
  int status, data1, data2;
};
inline Msg On(uint32_t ms, int ch, int note, int velocity = 127) { return {ms, 0x90 | ch, note, velocity}; }
inline Msg Off(uint32_t ms, int ch, int note) { return {ms, 0x80 | ch, note, 0}; }
inline Msg Cc(uint32_t ms, int ch, int number, int value) { return {ms, 0xB0 | ch, number, value}; }
inline Msg Bend(uint32_t ms, int ch, int value) { return {ms, 0xE0 | ch, value & 127, value >> 7}; }
inline Msg Program(uint32_t ms, int ch, int program) { return {ms, 0xC0 | ch, program, -1}; }
// Full channel volume and centre pan: notes at velocity 127 then mix at gain 4000.
inline std::vector<Msg> Loud(int ch, int pan = 64) { return {Cc(0, ch, 7, 127), Cc(0, ch, 10, pan)}; }

inline std::vector<Msg> With(std::vector<Msg> a, const std::vector<Msg>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A format-0 file; sysex (without its F0) goes first, at time 0. A song
// lasts until its last event, so one that changes nothing (expression 127
// on channel 0) marks endMs.
inline std::string SongBytes(std::vector<Msg> messages, uint32_t endMs, const std::string& sysex = "") {
  std::stable_sort(messages.begin(), messages.end(),
                   [](const Msg& a, const Msg& b) { return a.ms < b.ms; });
  TrackWriter track;
  track.Tempo(0, 1000000);
  if (!sysex.empty()) track.SysEx(0, sysex);
  uint32_t now = 0;
  for (const Msg& m : messages) {
    track.Channel(m.ms - now, m.status, m.data1, m.data2);
    now = m.ms;
  }
  if (endMs > now) track.Controller(endMs - now, 0, 11, 127);
  track.EndOfTrack();
  SmfOptions options;
  options.format = 0;
  options.division = 1000;
  return BuildSmf({track}, options);
}

// A one-shot patch holding one level (no envelope), sounding unchanged at
// middle C when its rate is the output rate.
inline ss::PatchDescription Constant(const std::string& name, int16_t level, size_t points = 100000) {
  ss::PatchDescription patch;
  patch.name = name;
  patch.points.assign(points, level);
  return patch;
}

// A looping sine of `period` points (22050 / period Hz at middle C).
inline ss::PatchDescription Sine(const std::string& name, int period, int16_t amplitude = 16000) {
  ss::PatchDescription patch;
  patch.name = name;
  patch.points.resize(period * 50);
  for (size_t i = 0; i < patch.points.size(); ++i) {
    patch.points[i] = static_cast<int16_t>(amplitude * std::sin(6.283185307179586 * i / period));
  }
  patch.loopMode = ss::LoopMode::kForward;
  patch.loopEnd = static_cast<uint32_t>(patch.points.size());
  return patch;
}

// Every program plays `patch` at 100 % (sample volume exactly 1.0).
inline ss::SoundSetConfig UnityConfig(const std::string& patch) {
  ss::SoundSetConfig config = ss::SingleToneConfig(patch);
  for (ss::ToneSlotConfig& tone : config.tones) tone.amp = 100;
  return config;
}

class RenderSet {
 public:
  RenderSet(const ss::SoundSetConfig& config, const std::vector<ss::PatchDescription>& patches,
            bool compressed = false) {
    ss::WriteSoundSet(Directory(), config, patches, compressed);
  }
  std::string Directory() const { return dir_.path().string() + "/"; }
  std::string File(const std::string& name) const { return dir_.File(name); }
  std::string WriteSong(const std::string& bytes, const std::string& name = "song.mid") const {
    return dir_.Write(name, bytes);
  }

 private:
  TempDirectory dir_;
};

// A MIDI decoder opened over a song file; the stream lives as long as it.
class OpenSong {
 public:
  OpenSong(const std::string& configDir, const std::string& songPath,
           const FormatOverride* formatOverride = nullptr)
      : decoder_(std::make_unique<MidiDecoder>()) {
    const std::u16string dir = Utf8ToUtf16(configDir);
    std::copy(dir.begin(), dir.end(), decoder_->configDirectory);
    decoder_->configDirectory[dir.size()] = 0;
    stream_ = FileOpenW(Utf8ToUtf16(songPath).c_str(), kOpenRead);
    result = stream_ ? decoder_->Open(stream_, formatOverride) : -1;
  }
  ~OpenSong() {
    decoder_.reset();
    if (stream_) FileClose(stream_);
  }
  MidiDecoder* operator->() { return decoder_.get(); }

  // Render calls of `capacity` bytes until the song ends.
  std::vector<uint8_t> RenderAll(uint32_t capacity = 35296) {
    std::vector<uint8_t> out, buffer(capacity);
    for (int32_t got; (got = decoder_->Render(buffer.data(), capacity)) > 0;) {
      out.insert(out.end(), buffer.begin(), buffer.begin() + got);
    }
    return out;
  }

  int32_t result;

 private:
  std::unique_ptr<MidiDecoder> decoder_;
  FileStream* stream_ = nullptr;
};

// While it lives, engines made use the named kernel set ("": the best one).
class KernelsForNewEngines {
 public:
  explicit KernelsForNewEngines(const char* name) {
    const char* previous = std::getenv("POCKETMIDI_KERNELS");
    hadPrevious_ = previous != nullptr;
    if (hadPrevious_) previous_ = previous;
    Set(name);
  }
  ~KernelsForNewEngines() { Set(hadPrevious_ ? previous_.c_str() : nullptr); }

 private:
  static void Set(const char* name) {
#if defined(_WIN32)
    _putenv_s("POCKETMIDI_KERNELS", name != nullptr ? name : "");
#else
    if (name != nullptr) {
      setenv("POCKETMIDI_KERNELS", name, 1);
    } else {
      unsetenv("POCKETMIDI_KERNELS");
    }
#endif
  }

  bool hadPrevious_ = false;
  std::string previous_;
};

inline std::vector<int16_t> AsInt16(const std::vector<uint8_t>& bytes) {
  std::vector<int16_t> out(bytes.size() / 2);
  for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  return out;
}

}  // namespace pocketmidi::test::render
