// Render speed of pocketmidi and its peers, side by side in one run.
//
//   pocketmidi_bench [--engine pocketmidi|fluidsynth|sonivox]... [--config DIR]
//                    [--sf2 FILE] [--rate HZ] [--voices N] [--repeat K] SONG...
//
// Every engine renders every song (songs interleaved: song 1 with each engine,
// then song 2, ...) at the same rate, 16-bit stereo, with the same polyphony.
// Only the render loop is timed, in CPU time of the rendering thread
// (CLOCK_THREAD_CPUTIME_ID), so opening, instrument loading and the rest of
// a busy machine stay out of the figure. A peer renders as many frames as
// pocketmidi does for the song (less if it ends earlier) and the ratio is
// its CPU time per frame over pocketmidi's; with --repeat K each figure is
// the smallest of K runs.
//
// The peers, each only when built in and able to render the format:
// - FluidSynth (libfluidsynth): the same SoundFont pocketmidi's default
//   instrument set is made of, linear interpolation, reverb and chorus off;
// - Sonivox EAS (libsonivox): its built-in instrument set, reverb and chorus
//   bypassed; its library renders only at the rate it was built for.
// A missing peer is skipped with the reason printed.
//
// Under `valgrind --tool=callgrind` with one --engine, the printed frame count
// turns the instruction total into instructions per output frame
// (bench/instructions_per_frame.sh).
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "api/file_type.h"
#include "api/midi_decoder.h"
#include "api/pcm_buffer_size.h"
#include "io/file_stream.h"
#include "platform/utf16_path.h"

#ifdef POCKETMIDI_WITH_FLUIDSYNTH
#include <fluidsynth.h>
#endif
#ifdef POCKETMIDI_WITH_SONIVOX
#include <eas.h>
#include <eas_chorus.h>
#include <eas_reverb.h>
#endif

namespace {

struct Settings {
  std::string config = "build/soundset";
  std::string sf2 = "/usr/share/sounds/sf2/TimGM6mb.sf2";
  int rate = 22050;
  int voices = 32;
};

struct Result {
  bool ok = false;
  std::string reason;  // why not, when !ok
  uint64_t frames = 0;
  double cpuSeconds = 0;  // render loop only
};

double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::vector<uint8_t> bytes;
  if (FILE* file = std::fopen(path.c_str(), "rb")) {
    uint8_t chunk[65536];
    for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
      bytes.insert(bytes.end(), chunk, chunk + got);
    }
    std::fclose(file);
  }
  return bytes;
}

// Through the MIDI decoder with the player's 400 ms buffer, as the library
// plays a song; maxFrames 0 renders to the end.
Result RenderPocketmidi(const std::string& song, const Settings& settings) {
  using namespace pocketmidi;
  Result result;
  const std::string& config = settings.config;
  const std::u16string dir = Utf8ToUtf16(config.back() == '/' ? config : config + "/");
  FileStream* stream = FileOpenW(Utf8ToUtf16(song).c_str(), kOpenRead);
  if (stream == nullptr) {
    result.reason = "cannot open the song";
    return result;
  }
  StreamDecoder* decoder = CreateDecoder(DetectFileType(stream), dir.c_str());
  FormatOverride format{static_cast<uint32_t>(settings.rate), 16, 2, settings.voices};
  if (decoder != nullptr && decoder->Open(stream, &format) == kDecoderOpened) {
    AudioFormat audio;
    decoder->GetFormat(&audio);
    std::vector<uint8_t> buffer(PlayerBufferBytes(audio));
    uint64_t bytes = 0;
    const double start = ThreadCpuSeconds();
    for (int32_t got; (got = decoder->Render(buffer.data(), buffer.size())) > 0;) bytes += got;
    result.cpuSeconds = ThreadCpuSeconds() - start;
    result.frames = bytes / (audio.channels * audio.bitsPerSample / 8);
    result.ok = audio.sampleRate == static_cast<uint32_t>(settings.rate);
    if (!result.ok) result.reason = "rate not accepted";
  } else {
    result.reason = "cannot open the song (instrument set in --config?)";
  }
  delete decoder;
  FileClose(stream);
  return result;
}

#ifdef POCKETMIDI_WITH_FLUIDSYNTH
// The song is played by FluidSynth's own sequencer, timed by the samples it
// renders; no other thread runs.
Result RenderFluidsynth(const std::string& song, const Settings& settings, uint64_t maxFrames) {
  Result result;
  fluid_settings_t* fs = new_fluid_settings();
  fluid_settings_setnum(fs, "synth.sample-rate", settings.rate);
  fluid_settings_setint(fs, "synth.polyphony", settings.voices);
  fluid_settings_setint(fs, "synth.reverb.active", 0);
  fluid_settings_setint(fs, "synth.chorus.active", 0);
  fluid_settings_setint(fs, "synth.cpu-cores", 1);
  fluid_settings_setstr(fs, "player.timing-source", "sample");
  fluid_settings_setint(fs, "synth.lock-memory", 0);
  fluid_synth_t* synth = new_fluid_synth(fs);
  const std::vector<uint8_t> midi = ReadFile(song);
  if (synth == nullptr || fluid_synth_sfload(synth, settings.sf2.c_str(), 1) == FLUID_FAILED) {
    result.reason = "cannot load " + settings.sf2;
  } else {
    fluid_synth_set_interp_method(synth, -1, FLUID_INTERP_LINEAR);
    fluid_player_t* player = new_fluid_player(synth);
    if (fluid_player_add_mem(player, midi.data(), midi.size()) == FLUID_OK &&
        fluid_player_play(player) == FLUID_OK) {
      constexpr int kBlock = 1024;
      std::vector<int16_t> buffer(2 * kBlock);
      const double start = ThreadCpuSeconds();
      while (fluid_player_get_status(player) == FLUID_PLAYER_PLAYING &&
             (maxFrames == 0 || result.frames < maxFrames)) {
        const int frames =
            maxFrames == 0
                ? kBlock
                : static_cast<int>(std::min<uint64_t>(kBlock, maxFrames - result.frames));
        if (fluid_synth_write_s16(synth, frames, buffer.data(), 0, 2, buffer.data(), 1, 2) !=
            FLUID_OK) {
          break;
        }
        result.frames += static_cast<uint64_t>(frames);
      }
      result.cpuSeconds = ThreadCpuSeconds() - start;
      result.ok = result.frames > 0;
      if (!result.ok) result.reason = "rendered nothing";
    } else {
      result.reason = "cannot play the song";
    }
    delete_fluid_player(player);
  }
  if (synth != nullptr) delete_fluid_synth(synth);
  delete_fluid_settings(fs);
  return result;
}
#endif

#ifdef POCKETMIDI_WITH_SONIVOX
struct MemoryFile {
  const std::vector<uint8_t>* bytes;
};

int SonivoxReadAt(void* handle, void* buffer, int offset, int size) {
  const std::vector<uint8_t>& bytes = *static_cast<MemoryFile*>(handle)->bytes;
  if (offset < 0 || size < 0 || static_cast<size_t>(offset) >= bytes.size()) return 0;
  const size_t n = std::min(static_cast<size_t>(size), bytes.size() - static_cast<size_t>(offset));
  std::memcpy(buffer, bytes.data() + offset, n);
  return static_cast<int>(n);
}

int SonivoxSize(void* handle) {
  return static_cast<int>(static_cast<MemoryFile*>(handle)->bytes->size());
}

// Sonivox's library has its output format built in; the song is read from
// memory so that its parser, which reads while rendering, does no I/O.
Result RenderSonivox(const std::string& song, const Settings& settings, uint64_t maxFrames) {
  Result result;
  const S_EAS_LIB_CONFIG* config = EAS_Config();
  if (config->sampleRate != settings.rate || config->numChannels != 2) {
    result.reason = "the library renders only " + std::to_string(config->sampleRate) + " Hz, " +
                    std::to_string(config->numChannels) + " channels";
    return result;
  }
  if (settings.voices > config->maxVoices) {
    result.reason = "at most " + std::to_string(config->maxVoices) + " voices";
    return result;
  }
  const std::vector<uint8_t> midi = ReadFile(song);
  MemoryFile memory{&midi};
  EAS_FILE locator{&memory, SonivoxReadAt, SonivoxSize};
  EAS_DATA_HANDLE eas = nullptr;
  EAS_HANDLE stream = nullptr;
  if (EAS_Init(&eas) != EAS_SUCCESS) {
    result.reason = "EAS_Init failed";
    return result;
  }
  if (EAS_OpenFile(eas, &locator, &stream) != EAS_SUCCESS ||
      EAS_Prepare(eas, stream) != EAS_SUCCESS) {
    result.reason = "cannot play the song";
  } else {
    EAS_SetParameter(eas, EAS_MODULE_REVERB, EAS_PARAM_REVERB_BYPASS, EAS_TRUE);
    EAS_SetParameter(eas, EAS_MODULE_CHORUS, EAS_PARAM_CHORUS_BYPASS, EAS_TRUE);
    EAS_SetSynthPolyphony(eas, 0, settings.voices);
    const EAS_I32 block = config->mixBufferSize;
    std::vector<EAS_PCM> buffer(static_cast<size_t>(block) * 2);
    const double start = ThreadCpuSeconds();
    while (maxFrames == 0 || result.frames < maxFrames) {
      EAS_STATE state = EAS_STATE_STOPPED;
      if (EAS_State(eas, stream, &state) != EAS_SUCCESS || state == EAS_STATE_STOPPED ||
          state == EAS_STATE_ERROR) {
        break;
      }
      EAS_I32 got = 0;
      if (EAS_Render(eas, buffer.data(), block, &got) != EAS_SUCCESS || got <= 0) break;
      result.frames += static_cast<uint64_t>(got);
    }
    result.cpuSeconds = ThreadCpuSeconds() - start;
    // Its blocks are whole: the last one may pass the frame count by a little.
    if (maxFrames != 0) result.frames = std::min(result.frames, maxFrames);
    result.ok = result.frames > 0;
    if (!result.ok) result.reason = "rendered nothing";
    EAS_CloseFile(eas, stream);
  }
  EAS_Shutdown(eas);
  return result;
}
#endif

Result Render(const std::string& engine, const std::string& song, const Settings& settings,
              uint64_t maxFrames) {
  if (engine == "pocketmidi") return RenderPocketmidi(song, settings);
#ifdef POCKETMIDI_WITH_FLUIDSYNTH
  if (engine == "fluidsynth") return RenderFluidsynth(song, settings, maxFrames);
#endif
#ifdef POCKETMIDI_WITH_SONIVOX
  if (engine == "sonivox") return RenderSonivox(song, settings, maxFrames);
#endif
  (void)maxFrames;
  Result result;
  result.reason = "not built in (its development package was not found at configure time)";
  return result;
}

// The smallest CPU time of `repeat` runs.
Result Best(const std::string& engine, const std::string& song, const Settings& settings,
            uint64_t maxFrames, int repeat) {
  Result best;
  for (int i = 0; i < repeat; ++i) {
    Result r = Render(engine, song, settings, maxFrames);
    if (!r.ok) return r;
    if (!best.ok || r.cpuSeconds < best.cpuSeconds) best = r;
  }
  return best;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string BaseName(const std::string& path) {
  std::string name = path.substr(path.find_last_of('/') + 1);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

struct EngineTotals {
  explicit EngineTotals(std::string engine) : name(std::move(engine)) {}
  std::string name;
  bool usable = true;
  std::string reason;
  uint64_t frames = 0;
  double cpuSeconds = 0;
  std::vector<double> ratios;  // per song, CPU per frame over pocketmidi's
};

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  int repeat = 1;
  std::vector<std::string> engines;
  std::vector<std::string> songs;
  for (int i = 1; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (!std::strcmp(argv[i], "--engine") && hasValue) {
      engines.push_back(argv[++i]);
    } else if (!std::strcmp(argv[i], "--config") && hasValue) {
      settings.config = argv[++i];
    } else if (!std::strcmp(argv[i], "--sf2") && hasValue) {
      settings.sf2 = argv[++i];
    } else if (!std::strcmp(argv[i], "--rate") && hasValue) {
      settings.rate = std::atoi(argv[++i]);
    } else if (!std::strcmp(argv[i], "--voices") && hasValue) {
      settings.voices = std::atoi(argv[++i]);
    } else if (!std::strcmp(argv[i], "--repeat") && hasValue) {
      repeat = std::max(1, std::atoi(argv[++i]));
    } else {
      songs.push_back(argv[i]);
    }
  }
  if (songs.empty() || settings.rate <= 0 || settings.voices <= 0) {
    std::fprintf(stderr,
                 "usage: pocketmidi_bench [--engine pocketmidi|fluidsynth|sonivox]... "
                 "[--config DIR] [--sf2 FILE] [--rate HZ] [--voices N] [--repeat K] SONG...\n");
    return 2;
  }
  // pocketmidi always renders: its frame count is what the peers render and
  // its time what they are compared with. Alone, it is the only engine.
  const bool onlyPocketmidi = engines.size() == 1 && engines[0] == "pocketmidi";
  if (engines.empty()) engines = {"fluidsynth", "sonivox"};
  std::vector<EngineTotals> peers;
  EngineTotals own("pocketmidi");
  if (!onlyPocketmidi) {
    for (const std::string& name : engines) {
      if (name != "pocketmidi") peers.emplace_back(name);
    }
  }
  const bool single = engines.size() == 1;  // the instruction-count form

  std::printf("rate %d Hz, 16-bit stereo, %d voices, render loop only, thread CPU time%s\n",
              settings.rate, settings.voices, repeat > 1 ? ", best of repeats" : "");
  for (const std::string& song : songs) {
    Result base;
    if (!single || onlyPocketmidi) {
      base = Best("pocketmidi", song, settings, 0, repeat);
      if (!base.ok) {
        std::fprintf(stderr, "%s: pocketmidi cannot render: %s\n", song.c_str(),
                     base.reason.c_str());
        return 1;
      }
      own.frames += base.frames;
      own.cpuSeconds += base.cpuSeconds;
    }
    std::printf("%-24s", BaseName(song).c_str());
    if (base.ok) {
      std::printf(" frames=%llu pocketmidi %7.1f ms", static_cast<unsigned long long>(base.frames),
                  base.cpuSeconds * 1e3);
    }
    for (EngineTotals& peer : peers) {
      if (!peer.usable) continue;
      const Result r = Best(peer.name, song, settings, base.frames, repeat);
      if (!r.ok) {
        peer.usable = false;
        peer.reason = r.reason;
        std::printf(" | %s skipped", peer.name.c_str());
        if (single) {
          std::fprintf(stderr, "%s skipped: %s\n", peer.name.c_str(), peer.reason.c_str());
          return 1;
        }
        continue;
      }
      peer.frames += r.frames;
      peer.cpuSeconds += r.cpuSeconds;
      if (single) {
        std::printf(" %s frames=%llu %7.1f ms", peer.name.c_str(),
                    static_cast<unsigned long long>(r.frames), r.cpuSeconds * 1e3);
        continue;
      }
      const double ratio =
          (r.cpuSeconds / r.frames) / (base.cpuSeconds / static_cast<double>(base.frames));
      peer.ratios.push_back(ratio);
      std::printf(" | %s %7.1f ms %5.2fx", peer.name.c_str(), r.cpuSeconds * 1e3, ratio);
    }
    std::printf("\n");
    std::fflush(stdout);
  }

  auto nsPerFrame = [](const EngineTotals& e) {
    return e.frames ? e.cpuSeconds * 1e9 / static_cast<double>(e.frames) : 0.0;
  };
  auto realtime = [&](const EngineTotals& e) {
    return e.cpuSeconds > 0 ? static_cast<double>(e.frames) / settings.rate / e.cpuSeconds : 0.0;
  };
  if (own.frames > 0) {
    std::printf("summary pocketmidi: %.1f ns/frame, %.0fx realtime\n", nsPerFrame(own),
                realtime(own));
  }
  for (const EngineTotals& peer : peers) {
    if (!peer.usable) {
      std::printf("summary %s: skipped: %s\n", peer.name.c_str(), peer.reason.c_str());
      continue;
    }
    std::printf("summary %s: %.1f ns/frame, %.0fx realtime", peer.name.c_str(), nsPerFrame(peer),
                realtime(peer));
    if (!peer.ratios.empty()) {
      std::printf(", median per-song ratio to pocketmidi %.2fx over %zu songs", Median(peer.ratios),
                  peer.ratios.size());
    }
    std::printf("\n");
  }
  return 0;
}
