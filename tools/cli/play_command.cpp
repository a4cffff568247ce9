// pocketmidi play: a song on the audio device, through the exported
// functions only, as a host program would drive the library. Space pauses
// and resumes, q or Ctrl-C stops.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "cli/cli_options.h"
#include "cli/commands.h"
#include "cli/console_keys.h"
#include "cli/input_check.h"
#include "cli/load_diagnosis.h"
#include "platform/utf16_path.h"
#include "platform/virtual_wave_out.h"
#include "platform/wave_out.h"
#include "platform/wave_out_device.h"
#include "pocketmidi.h"

namespace pocketmidi::cli {
namespace {

struct PlayOptions : SongArgs {
  int32_t startMs = 0;
  int32_t endMs = -1;
  int32_t loops = 1;
  int32_t volume = -1;  // -1: leave the device volume alone
};

// What the progress callback saw; written on the device thread.
struct Progress {
  std::atomic<int32_t> durationMs{0};
  std::atomic<int32_t> positionMs{0};
  std::atomic<int32_t> pass{0};
  std::atomic<bool> ended{false};
  int32_t startMs = 0;
};

void OnProgress(int32_t durationMs, int32_t positionMs, void* user) {
  auto* progress = static_cast<Progress*>(user);
  progress->durationMs = durationMs;
  if (positionMs == -1) {
    progress->ended = true;
    return;
  }
  // Within a pass every later report lies at least one block past the start.
  if (positionMs == progress->startMs) ++progress->pass;
  progress->positionMs = positionMs;
}

// The song and its instruments open, so what failed lies past the decoder:
// a song of 0 ms, or the audio device.
std::string PlayerLoadCause(const std::u16string& songPath, const std::string& decoderCause) {
  if (decoderCause.find("cause unknown") == std::string::npos) return decoderCause;
  MidiFileInfo info{};
  if (MIDI_GetInfo(songPath.c_str(), &info) == 0) return "the song lasts 0 ms";
  WAVEOUTCAPS caps{};
  const uint32_t devices = waveOutGetNumDevs();
  bool usable = false;
  for (uint32_t i = 0; i < devices && !usable; ++i) {
    usable = waveOutGetDevCaps(i, &caps, sizeof caps) == MMSYSERR_NOERROR;
  }
  if (!usable) return "no usable audio output device (see POCKETMIDI_AUDIO)";
  return "the audio output device could not be opened in the song's format";
}

void PrintPlayUsage(FILE* out) {
  std::fprintf(out,
               "usage: pocketmidi play SONG [options]\n"
               "Plays a song on the audio device chosen by POCKETMIDI_AUDIO (default: ALSA's\n"
               "default device, else the null device; wav:FILE records into a WAV file).\n"
               "Space pauses and resumes, q or Ctrl-C stops.\n");
  PrintSetOptionsHelp(out);
  std::fprintf(out,
               "  --start MS         start MS milliseconds into the song (default: 0)\n"
               "  --end MS           stop at MS milliseconds (default: -1, the song's end)\n"
               "  --loops N          passes over the range, 0 until stopped (default: 1)\n"
               "  --volume PCT       device volume 0..100 (default: leave it as it is)\n"
               "  -h, --help         this help\n"
               "example: pocketmidi play song.mid --loops 2 --volume 80\n");
}

bool ParsePlayOptions(int argc, char** argv, PlayOptions* options) {
  const IntOption ints[] = {
      {"--start", &options->startMs, 0, 0x7FFFFFFF, "milliseconds"},
      {"--end", &options->endMs, -1, 0x7FFFFFFF, "milliseconds (-1: the song's end)"},
      {"--loops", &options->loops, 0, 0x7FFFFFFF, "a pass count (0: endless)"},
      {"--volume", &options->volume, 0, 100, "a percentage 0..100"},
  };
  return ParseSongArgs("play", argc, argv, ints, sizeof ints / sizeof ints[0], false, options);
}

std::string Clock(int32_t ms) {
  if (ms < 0) ms = 0;
  char text[32];
  std::snprintf(text, sizeof text, "%d:%02d.%d", ms / 60000, ms / 1000 % 60, ms / 100 % 10);
  return text;
}

void ShowBar(const Progress& progress, const PlayOptions& options, bool paused) {
  const int32_t duration = progress.durationMs;
  const int32_t position = progress.positionMs;
  std::string passes = std::to_string(progress.pass.load());
  if (options.loops > 0) passes += "/" + std::to_string(options.loops);
  std::fprintf(stderr, "\r%s %s / %s  pass %s%s   ", ProgressBar(position, duration).c_str(),
               Clock(position).c_str(), Clock(duration).c_str(), passes.c_str(),
               paused ? "  (paused)" : "");
  std::fflush(stderr);
}

// Space pauses and resumes, q or Ctrl-C stops; true when stopped early.
bool PlayUntilEnd(MIDI_HANDLE player, const Progress& progress, const PlayOptions& options,
                  ConsoleKeys& keys, bool showBar) {
  bool paused = false;
  bool stopped = false;
  while (!progress.ended) {
    const char key = keys.Read(100);
    if (keys.Interrupted() || key == 'q' || key == 'Q') {
      stopped = true;
      MIDI_Stop(player);  // reports -1
      break;
    }
    if (key == ' ') {
      if (!paused && MIDI_Pause(player)) {
        paused = true;
      } else if (paused && MIDI_Resume(player)) {
        paused = false;
      }
    }
    if (showBar) ShowBar(progress, options, paused);
  }
  return stopped;
}

}  // namespace

int RunPlay(int argc, char** argv) {
  PlayOptions options;
  if (!ParsePlayOptions(argc, argv, &options)) return kUsageError;
  if (options.help) {
    PrintPlayUsage(stdout);
    return 0;
  }
  if (options.song.empty()) {
    PrintPlayUsage(stderr);
    return kUsageError;
  }
  LibraryDirectory set;
  if (!CheckSongAndSet("play", "cannot load", options, &set)) return 1;
  const std::u16string configDir = Utf8ToUtf16(set.path());
  const std::u16string songPath = Utf8ToUtf16(options.song);

  FormatOverride formatOverride{};
  const FormatOverride* overridePointer = nullptr;
  if (!ResolveFormatOverride("play", configDir.c_str(), options.format, &formatOverride,
                             &overridePointer)) {
    return 1;
  }

  Progress progress;
  progress.startMs = options.startMs;
  MIDI_HANDLE player =
      MIDI_Load(songPath.c_str(), configDir.c_str(), overridePointer, &OnProgress, &progress);
  if (player == nullptr) {
    const std::string cause = PlayerLoadCause(
        songPath, DiagnoseLoadFailure(configDir.c_str(), songPath.c_str(), overridePointer));
    std::fprintf(stderr, "pocketmidi play: cannot load '%s': %s\n", options.song.c_str(),
                 cause.c_str());
    return 1;
  }
  if (options.volume >= 0 && MIDI_SetVolume(player, options.volume) == 0) {
    std::fprintf(stderr, "pocketmidi play: the device refused volume %d%%\n", options.volume);
  }

  // Only our own devices can be the null device (on Windows the handle may
  // be the system's).
  const auto handle = static_cast<HWAVEOUT>(MIDI_GetWaveOut(player));
  const auto* device =
      virtual_wave_out::Owns(handle) ? static_cast<const WaveOutDevice*>(handle) : nullptr;
  if (device != nullptr && device->IsNullDevice()) {
    const bool chosen = device->setting().kind == AudioBackendKind::kNull;
    std::fprintf(stderr,
                 "pocketmidi play: playing to the null device (%s): nothing is heard.\n"
                 "  To record instead: POCKETMIDI_AUDIO=wav:FILE.wav pocketmidi play ...\n",
                 chosen ? "POCKETMIDI_AUDIO=null" : "no sound card found");
  }

  ConsoleKeys keys;
  const bool showBar = StderrIsConsole();

  int exitCode = 0;
  if (MIDI_Play(player, options.startMs, options.endMs, options.loops) == 0) {
    std::fprintf(stderr, "pocketmidi play: playback of '%s' could not start (range %d..%d ms of %d)\n",
                 options.song.c_str(), options.startMs, options.endMs, MIDI_GetDuration(player));
    exitCode = 1;
  } else {
    const bool stopped = PlayUntilEnd(player, progress, options, keys, showBar);
    if (showBar) {
      ShowBar(progress, options, false);
      std::fprintf(stderr, "\n");
    }
    std::fprintf(stderr, "%s: %s\n", options.song.c_str(),
                 stopped ? "stopped" : "played");
  }
  MIDI_Unload(player);
  return exitCode;
}

}  // namespace pocketmidi::cli
