// Renders whole songs as fast as possible and reports the realtime factor.
//
//   pocketmidi_bench [--engine pocketmidi|fluidsynth] [--config DIR] [--sf2 FILE]
//                    [--rate HZ] SONG...
//
// pocketmidi renders through the MIDI decoder with the player's 400 ms
// buffer; FluidSynth renders the same song with the same SoundFont, reverb
// and chorus off, at the same rate, 16-bit stereo. Under
// `valgrind --tool=callgrind` the printed frame count turns the instruction
// total into instructions per output frame (bench/instructions_per_frame.sh).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "api/file_type.h"
#include "api/midi_decoder.h"
#include "api/pcm_buffer_size.h"
#include "io/file_stream.h"
#include "platform/utf16_path.h"

#ifdef POCKETMIDI_WITH_FLUIDSYNTH
#include <fluidsynth.h>
#endif

namespace {

struct Result {
  bool ok = false;
  uint64_t frames = 0;
  double seconds = 0;
};

Result RenderPocketmidi(const std::string& song, const std::string& config, int rate) {
  using namespace pocketmidi;
  Result result;
  const std::u16string dir = Utf8ToUtf16(config.back() == '/' ? config : config + "/");
  FileStream* stream = FileOpenW(Utf8ToUtf16(song).c_str(), kOpenRead);
  if (stream == nullptr) return result;
  StreamDecoder* decoder = CreateDecoder(DetectFileType(stream), dir.c_str());
  FormatOverride format{static_cast<uint32_t>(rate), 16, 2, 32};
  const auto start = std::chrono::steady_clock::now();
  if (decoder != nullptr && decoder->Open(stream, rate ? &format : nullptr) == kDecoderOpened) {
    AudioFormat audio;
    decoder->GetFormat(&audio);
    std::vector<uint8_t> buffer(PlayerBufferBytes(audio));
    uint64_t bytes = 0;
    for (int32_t got; (got = decoder->Render(buffer.data(), buffer.size())) > 0;) bytes += got;
    result.frames = bytes / (audio.channels * audio.bitsPerSample / 8);
    result.ok = true;
  }
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  delete decoder;
  FileClose(stream);
  return result;
}

#ifdef POCKETMIDI_WITH_FLUIDSYNTH
Result RenderFluidsynth(const std::string& song, const std::string& sf2, int rate) {
  Result result;
  fluid_settings_t* settings = new_fluid_settings();
  fluid_settings_setnum(settings, "synth.sample-rate", rate ? rate : 22050);
  fluid_settings_setint(settings, "synth.reverb.active", 0);
  fluid_settings_setint(settings, "synth.chorus.active", 0);
  fluid_settings_setstr(settings, "player.timing-source", "sample");
  fluid_settings_setint(settings, "synth.lock-memory", 0);
  fluid_synth_t* synth = new_fluid_synth(settings);
  const auto start = std::chrono::steady_clock::now();
  if (fluid_synth_sfload(synth, sf2.c_str(), 1) != FLUID_FAILED) {
    fluid_player_t* player = new_fluid_player(synth);
    fluid_player_add(player, song.c_str());
    fluid_player_play(player);
    std::vector<int16_t> buffer(2 * 1024);
    while (fluid_player_get_status(player) == FLUID_PLAYER_PLAYING) {
      if (fluid_synth_write_s16(synth, 1024, buffer.data(), 0, 2, buffer.data(), 1, 2) != FLUID_OK) break;
      result.frames += 1024;
    }
    delete_fluid_player(player);
    result.ok = true;
  }
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  delete_fluid_synth(synth);
  delete_fluid_settings(settings);
  return result;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  std::string engine = "pocketmidi";
  std::string config = "build/soundset";
  std::string sf2 = "/usr/share/sounds/sf2/TimGM6mb.sf2";
  int rate = 22050;
  std::vector<std::string> songs;
  for (int i = 1; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (!std::strcmp(argv[i], "--engine") && hasValue) {
      engine = argv[++i];
    } else if (!std::strcmp(argv[i], "--config") && hasValue) {
      config = argv[++i];
    } else if (!std::strcmp(argv[i], "--sf2") && hasValue) {
      sf2 = argv[++i];
    } else if (!std::strcmp(argv[i], "--rate") && hasValue) {
      rate = std::atoi(argv[++i]);
    } else {
      songs.push_back(argv[i]);
    }
  }
  if (songs.empty()) {
    std::fprintf(stderr, "usage: pocketmidi_bench [--engine pocketmidi|fluidsynth] [--config DIR] "
                         "[--sf2 FILE] [--rate HZ] SONG...\n");
    return 2;
  }
  uint64_t totalFrames = 0;
  double totalSeconds = 0;
  for (const std::string& song : songs) {
    Result r;
    if (engine == "pocketmidi") {
      r = RenderPocketmidi(song, config, rate);
#ifdef POCKETMIDI_WITH_FLUIDSYNTH
    } else if (engine == "fluidsynth") {
      r = RenderFluidsynth(song, sf2, rate);
#endif
    } else {
      std::fprintf(stderr, "unknown or unavailable engine '%s'\n", engine.c_str());
      return 2;
    }
    if (!r.ok) {
      std::fprintf(stderr, "%s: cannot render\n", song.c_str());
      return 1;
    }
    const double audio = static_cast<double>(r.frames) / rate;
    std::printf("%-12s %-40s frames=%llu audio=%.1fs render=%.3fs realtime=%.0fx\n",
                engine.c_str(), song.substr(song.find_last_of('/') + 1).c_str(),
                static_cast<unsigned long long>(r.frames), audio, r.seconds,
                r.seconds > 0 ? audio / r.seconds : 0.0);
    totalFrames += r.frames;
    totalSeconds += r.seconds;
  }
  std::printf("%-12s total frames=%llu render=%.3fs realtime=%.0fx\n", engine.c_str(),
              static_cast<unsigned long long>(totalFrames), totalSeconds,
              totalSeconds > 0 ? totalFrames / static_cast<double>(rate) / totalSeconds : 0.0);
  return 0;
}
