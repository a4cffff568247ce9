// pocketmidi render: a song through the MIDI decoder, exactly as the player
// pulls it, into a WAV file or raw PCM.
#include <unistd.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "api/file_type.h"
#include "api/midi_decoder.h"
#include "cli/cli_options.h"
#include "cli/duration_text.h"
#include "cli/input_check.h"
#include "cli/load_diagnosis.h"
#include "cli/safe_output.h"
#include "cli/wav_header.h"
#include "io/file_stream.h"
#include "platform/utf16_path.h"
#include "synth/synth_engine.h"

namespace pocketmidi::cli {
namespace {

void PrintRenderUsage(FILE* out) {
  std::fprintf(out,
               "usage: pocketmidi render SONG -o OUT [options]\n"
               "Renders a song exactly as the player plays it, as fast as possible.\n"
               "  -o, --output OUT   file to write (required); a name ending in .wav gets a\n"
               "                     WAV header, any other name raw PCM. It is replaced only\n"
               "                     once the whole song is written.\n");
  PrintSetOptionsHelp(out);
  std::fprintf(out,
               "  --start MS         start MS milliseconds into the song (default: 0)\n"
               "  -h, --help         this help\n"
               "example: pocketmidi render song.mid -o song.wav --rate 44100\n");
}

// The song file and its decoder, released in that order (the decoder reads
// the stream until it is destroyed).
struct OpenSong {
  FileStream* stream = nullptr;
  std::unique_ptr<StreamDecoder> decoder;
  OpenSong() = default;
  OpenSong(const OpenSong&) = delete;
  OpenSong& operator=(const OpenSong&) = delete;
  ~OpenSong() {
    decoder.reset();
    if (stream != nullptr) FileClose(stream);
  }
};

std::string RenderReport(const std::string& output, int32_t renderedMs, int64_t micros,
                         int64_t bytes) {
  // Realtime factor in tenths, rounded to nearest.
  const int64_t tenths = micros > 0 ? (renderedMs * int64_t{20000} / micros + 1) / 2 : 0;
  return output + ": " + DurationText(static_cast<uint32_t>(renderedMs)) + " rendered in " +
         std::to_string(micros / 1000000) + "." +
         ZeroPadded(static_cast<uint64_t>(micros / 1000 % 1000), 3) + " s (" +
         std::to_string(tenths / 10) + "." +
         std::to_string(tenths % 10) + "x realtime), " + std::to_string(bytes) + " bytes\n";
}

// Prints "pocketmidi render: " and the message; the command's exit status.
__attribute__((format(printf, 1, 2))) int Fail(const char* format, ...) {
  std::fputs("pocketmidi render: ", stderr);
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fputc('\n', stderr);
  return 1;
}

bool EndsWith(const std::string& text, const char* suffix) {
  const size_t n = std::strlen(suffix);
  return text.size() >= n && strcasecmp(text.c_str() + text.size() - n, suffix) == 0;
}

// The decoder's bytes into `path` (behind a WAV header for a .wav name); the
// bytes written, or -1 after a message.
int64_t RenderToFile(StreamDecoder& decoder, const AudioFormat& format, int32_t durationMs,
                     const std::string& path) {
  SafeOutputFile out;
  std::string problem;
  if (!out.Open(path, &problem)) {
    Fail("%s", problem.c_str());
    return -1;
  }
  const bool wav = EndsWith(path, ".wav");
  uint8_t header[kWavHeaderBytes];
  // A pipe cannot be rewound to complete the header: it gets the largest size.
  WavHeader(format, out.Seekable() ? 0 : ~uint64_t{0}, header);
  if (wav) out.Write(header, sizeof header);

  // Two engine blocks of 16-bit stereo at a time (a whole number of frames
  // in every format). The bytes do not depend on the size of the pieces,
  // and a small buffer keeps the process small: with the player's 400 ms
  // buffer a render peaked some 150 KiB higher (smaller pieces cost more
  // calls than they save).
  constexpr uint32_t kPieceBytes = 8192;
  uint8_t buffer[kPieceBytes];
  const bool showProgress = isatty(STDERR_FILENO);
  int shownPercent = -1;
  uint64_t total = 0;
  for (;;) {
    const int32_t got = decoder.Render(buffer, kPieceBytes);
    if (got <= 0) break;
    if (!out.Write(buffer, static_cast<size_t>(got))) break;
    total += static_cast<uint64_t>(got);
    if (!showProgress) continue;
    const int32_t positionMs = decoder.GetPosition();
    const int percent = static_cast<int>(int64_t{100} * positionMs / durationMs);
    if (percent != shownPercent) {
      shownPercent = percent;
      std::fprintf(stderr, "\r%s %3d%%", ProgressBar(positionMs, durationMs).c_str(), percent);
    }
  }
  if (showProgress) std::fprintf(stderr, "\n");
  if (wav && out.Seekable()) {
    WavHeader(format, total, header);
    out.WriteAt(0, header, sizeof header);
  }
  if (!out.Commit(&problem)) {
    Fail("%s", problem.c_str());
    return -1;
  }
  return static_cast<int64_t>(total);
}

}  // namespace

int RunRender(int argc, char** argv) {
  SongArgs options;
  int32_t startMs = 0;
  const IntOption ints[] = {{"--start", &startMs, 0, 0x7FFFFFFF, "milliseconds"}};
  if (!ParseSongArgs("render", argc, argv, ints, 1, true, &options)) return kUsageError;
  if (options.help) {
    PrintRenderUsage(stdout);
    return 0;
  }
  if (options.song.empty() || options.output.empty()) {
    PrintRenderUsage(stderr);
    return kUsageError;
  }
  const char* song = options.song.c_str();
  LibraryDirectory set;
  if (!CheckSongAndSet("render", "cannot open", options, &set)) return 1;
  const std::u16string configDir = Utf8ToUtf16(set.path());
  const std::u16string songPath = Utf8ToUtf16(options.song);

  FormatOverride formatOverride{};
  const FormatOverride* overridePointer = nullptr;
  if (!ResolveFormatOverride("render", configDir.c_str(), options.format, &formatOverride,
                             &overridePointer)) {
    return 1;
  }

  OpenSong open;
  open.stream = FileOpenW(songPath.c_str(), kOpenRead);
  if (open.stream == nullptr) return Fail("cannot open '%s'", song);
  open.decoder.reset(CreateDecoder(DetectFileType(open.stream), configDir.c_str()));
  if (!open.decoder) return Fail("'%s' is not a MIDI file", song);
  StreamDecoder& decoder = *open.decoder;
  if (decoder.Open(open.stream, overridePointer) != kDecoderOpened) {
    return Fail("%s", DescribeOpenFailure(decoder).c_str());
  }
  AudioFormat format;
  decoder.GetFormat(&format);
  const int32_t durationMs = decoder.GetDuration();
  if (durationMs == 0) return Fail("'%s': duration is 0", song);
  if (startMs >= durationMs) {
    return Fail("--start %d is past the end of '%s' (%d ms)", startMs, song, durationMs);
  }
  decoder.Seek(startMs, kSeekFromStart);

  const auto started = std::chrono::steady_clock::now();
  const int64_t total = RenderToFile(decoder, format, durationMs, options.output);
  if (total < 0) return 1;
  const int64_t micros = std::chrono::duration_cast<std::chrono::microseconds>(
                             std::chrono::steady_clock::now() - started)
                             .count();
  std::fputs(RenderReport(options.output, durationMs - startMs, micros, total).c_str(), stderr);
  return 0;
}

}  // namespace pocketmidi::cli
