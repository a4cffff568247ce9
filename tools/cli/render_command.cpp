// pocketmidi render: a song through the MIDI decoder, exactly as the player
// pulls it, into a WAV file or raw PCM.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "api/file_type.h"
#include "api/midi_decoder.h"
#include "api/pcm_buffer_size.h"
#include "cli/cli_options.h"
#include "cli/load_diagnosis.h"
#include "cli/wav_header.h"
#include "io/file_stream.h"
#include "platform/utf16_path.h"
#include "synth/synth_engine.h"

namespace pocketmidi::cli {
namespace {

struct RenderOptions {
  std::string song;
  std::string config;
  std::string output;
  FormatFlags format;
  int32_t startMs = 0;
};

void PrintRenderUsage() {
  std::fprintf(stderr,
               "usage: pocketmidi render SONG [--config DIR] [--rate HZ] [--bits 8|16] "
               "[--channels 1|2] [--polyphony N] [--start MS] -o OUT\n"
               "  OUT ending in .wav gets a WAV header; any other name gets raw PCM.\n");
}

bool ParseRenderOptions(int argc, char** argv, RenderOptions* options) {
  options->config = DefaultConfigDirectory();
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    int consumed = ParseFormatFlag(arg, value, &options->format);
    if (consumed < 0) return false;
    if (consumed > 0) {
      i += consumed - 1;
      continue;
    }
    if (!std::strcmp(arg, "--config") && value) {
      options->config = value;
      ++i;
    } else if ((!std::strcmp(arg, "-o") || !std::strcmp(arg, "--output")) && value) {
      options->output = value;
      ++i;
    } else if (!std::strcmp(arg, "--start") && value) {
      if (!ParseInt(value, 0, 0x7FFFFFFF, &options->startMs)) {
        std::fprintf(stderr, "pocketmidi render: --start wants milliseconds, not '%s'\n", value);
        return false;
      }
      ++i;
    } else if (arg[0] == '-' && arg[1] != '\0') {
      std::fprintf(stderr, "pocketmidi render: unknown option '%s'\n", arg);
      return false;
    } else if (options->song.empty()) {
      options->song = arg;
    } else {
      std::fprintf(stderr, "pocketmidi render: unexpected argument '%s'\n", arg);
      return false;
    }
  }
  if (options->song.empty() || options->output.empty()) {
    PrintRenderUsage();
    return false;
  }
  return true;
}

bool EndsWith(const std::string& text, const char* suffix) {
  const size_t n = std::strlen(suffix);
  return text.size() >= n && strcasecmp(text.c_str() + text.size() - n, suffix) == 0;
}

void ShowProgress(int32_t positionMs, int32_t durationMs) {
  const int width = 40;
  const int filled = durationMs > 0 ? static_cast<int>(int64_t{width} * positionMs / durationMs) : 0;
  std::fprintf(stderr, "\r[%-*.*s] %3d%%", width, filled,
               "########################################",
               durationMs > 0 ? static_cast<int>(int64_t{100} * positionMs / durationMs) : 0);
}

}  // namespace

int RunRender(int argc, char** argv) {
  RenderOptions options;
  if (!ParseRenderOptions(argc, argv, &options)) return 1;
  const std::u16string configDir = Utf8ToUtf16(WithTrailingSeparator(options.config));
  const std::u16string songPath = Utf8ToUtf16(options.song);

  // Before anything reads the configuration, which would create a missing
  // bootstrap file empty.
  const std::string missing = MissingBootstrap(configDir.c_str());
  if (!missing.empty()) {
    std::fprintf(stderr, "pocketmidi render: %s\n", missing.c_str());
    return 1;
  }

  FormatOverride formatOverride;
  const FormatOverride* overridePointer = nullptr;
  if (options.format.AnyGiven()) {
    std::string problem;
    if (!FillFormatOverride(configDir.c_str(), options.format, &formatOverride, &problem)) {
      std::fprintf(stderr, "pocketmidi render: %s\n", problem.c_str());
      return 1;
    }
    overridePointer = &formatOverride;
  }

  FileStream* stream = FileOpenW(songPath.c_str(), kOpenRead);
  if (stream == nullptr) {
    std::fprintf(stderr, "pocketmidi render: cannot open '%s'\n", options.song.c_str());
    return 1;
  }
  const FileType type = DetectFileType(stream);
  std::unique_ptr<StreamDecoder> decoder(CreateDecoder(type, configDir.c_str()));
  if (!decoder) {
    FileClose(stream);
    std::fprintf(stderr, "pocketmidi render: '%s' is not a MIDI file\n", options.song.c_str());
    return 1;
  }
  if (decoder->Open(stream, overridePointer) != kDecoderOpened) {
    const std::string cause = DiagnoseLoadFailure(configDir.c_str(), songPath.c_str(), overridePointer);
    decoder.reset();
    FileClose(stream);
    std::fprintf(stderr, "pocketmidi render: %s\n", cause.c_str());
    return 1;
  }
  AudioFormat format;
  decoder->GetFormat(&format);
  const int32_t durationMs = decoder->GetDuration();
  if (durationMs == 0) {
    decoder.reset();
    FileClose(stream);
    std::fprintf(stderr, "pocketmidi render: '%s': duration is 0\n", options.song.c_str());
    return 1;
  }
  decoder->Seek(options.startMs, kSeekFromStart);

  FILE* out = std::fopen(options.output.c_str(), "wb");
  if (out == nullptr) {
    decoder.reset();
    FileClose(stream);
    std::fprintf(stderr, "pocketmidi render: cannot create '%s'\n", options.output.c_str());
    return 1;
  }
  const bool wav = EndsWith(options.output, ".wav");
  if (wav) WriteWavHeader(out, format, 0);

  // The player's buffer: 400 ms, rounded up to a multiple of 32 bytes.
  const uint32_t bufferBytes = PlayerBufferBytes(format);
  std::vector<uint8_t> buffer(bufferBytes);
  const bool showProgress = isatty(STDERR_FILENO);
  const auto started = std::chrono::steady_clock::now();
  uint64_t total = 0;
  bool writeFailed = false;
  for (;;) {
    const int32_t got = decoder->Render(buffer.data(), bufferBytes);
    if (got <= 0) break;
    if (std::fwrite(buffer.data(), 1, static_cast<size_t>(got), out) != static_cast<size_t>(got)) {
      writeFailed = true;
      break;
    }
    total += static_cast<uint64_t>(got);
    if (showProgress) ShowProgress(decoder->GetPosition(), durationMs);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (showProgress) std::fprintf(stderr, "\n");
  if (wav && !writeFailed) writeFailed = !FinishWavHeader(out, format, total);
  writeFailed = (std::fclose(out) != 0) || writeFailed;
  decoder.reset();
  FileClose(stream);
  if (writeFailed) {
    std::fprintf(stderr, "pocketmidi render: writing '%s' failed\n", options.output.c_str());
    return 1;
  }
  const double audioSeconds = durationMs / 1000.0;
  std::fprintf(stderr, "%s: %d:%06.3f rendered in %.3f s (%.1fx realtime), %llu bytes\n",
               options.output.c_str(), durationMs / 60000, (durationMs % 60000) / 1000.0, seconds,
               seconds > 0 ? audioSeconds / seconds : 0.0, static_cast<unsigned long long>(total));
  return 0;
}

}  // namespace pocketmidi::cli
