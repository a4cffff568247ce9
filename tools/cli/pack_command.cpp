// pocketmidi pack: builds an instrument set (configuration directory with the
// bootstrap file, patch list and patch archive) from a SoundFont 2 bank.
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/commands.h"
#include "soundset/config_writer.h"
#include "soundset/patch_archive_writer.h"
#include "soundset/sf2_reader.h"
#include "soundset/soundfont_pack.h"

namespace pocketmidi::cli {

namespace {

namespace ss = pocketmidi::soundset;

void PrintPackUsage(FILE* out) {
  std::fprintf(out,
               "usage: pocketmidi pack SOUNDFONT.sf2 -o DIR [options]\n"
               "  --adpcm            store samples IMA ADPCM compressed\n"
               "  --max-rate HZ      resample samples above HZ down to HZ\n"
               "  --8bit             store 8-bit samples\n"
               "  --normalize        let the player normalise each patch (no amps)\n"
               "  --name-prefix P    prefix patch names with P (at most 10 characters)\n"
               "  --rate HZ          output rate: 8000 11025 16000 22050 32000 44100 (22050)\n"
               "  --bits 8|16        output bits (16)\n"
               "  --channels 1|2     output channels (2)\n"
               "  --polyphony N      voices (32)\n"
               "  -v                 list what was borrowed or left out\n");
}

bool ParseInt(const char* text, long low, long high, int* out) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (!*text || *end || value < low || value > high) return false;
  *out = static_cast<int>(value);
  return true;
}

bool IsOutputRate(int rate) {
  for (int r : {8000, 11025, 16000, 22050, 32000, 44100}) {
    if (r == rate) return true;
  }
  return false;
}

}  // namespace

int RunPack(int argc, char** argv) {
  std::string input, directory;
  ss::PackOptions options;
  bool verbose = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    int value = 0;
    auto bad = [&](const char* what) {
      std::fprintf(stderr, "pocketmidi pack: %s\n", what);
      return 2;
    };
    if (arg == "-h" || arg == "--help") {
      PrintPackUsage(stdout);
      return 0;
    } else if (arg == "-o" && hasValue) {
      directory = argv[++i];
    } else if (arg == "--adpcm") {
      options.adpcm = true;
    } else if (arg == "--8bit") {
      options.eightBit = true;
    } else if (arg == "--normalize") {
      options.normalize = true;
    } else if (arg == "-v") {
      verbose = true;
    } else if (arg == "--max-rate" && hasValue) {
      if (!ParseInt(argv[++i], 1000, 65535, &value)) return bad("--max-rate wants 1000..65535");
      options.maxRateHz = static_cast<uint32_t>(value);
    } else if (arg == "--name-prefix" && hasValue) {
      options.namePrefix = argv[++i];
    } else if (arg == "--rate" && hasValue) {
      if (!ParseInt(argv[++i], 0, 65535, &value) || !IsOutputRate(value)) {
        return bad("--rate wants 8000, 11025, 16000, 22050, 32000 or 44100");
      }
      options.rate = value;
    } else if (arg == "--bits" && hasValue) {
      if (!ParseInt(argv[++i], 8, 16, &value) || (value != 8 && value != 16)) {
        return bad("--bits wants 8 or 16");
      }
      options.bits = value;
    } else if (arg == "--channels" && hasValue) {
      if (!ParseInt(argv[++i], 1, 2, &value)) return bad("--channels wants 1 or 2");
      options.channels = value;
    } else if (arg == "--polyphony" && hasValue) {
      if (!ParseInt(argv[++i], 1, 256, &value)) return bad("--polyphony wants 1..256");
      options.polyphony = value;
    } else if (arg[0] != '-' && input.empty()) {
      input = arg;
    } else {
      std::fprintf(stderr, "pocketmidi pack: unexpected argument '%s'\n", arg.c_str());
      PrintPackUsage(stderr);
      return 2;
    }
  }
  if (input.empty() || directory.empty()) {
    PrintPackUsage(stderr);
    return 2;
  }

  const auto started = std::chrono::steady_clock::now();
  ss::SoundFont font;
  std::string error;
  if (!ss::ReadSoundFontFile(input, &font, &error)) {
    std::fprintf(stderr, "pocketmidi pack: %s: %s\n", input.c_str(), error.c_str());
    return 1;
  }
  ss::PackResult result;
  if (!ss::PackSoundFont(font, options, &result, &error)) {
    std::fprintf(stderr, "pocketmidi pack: %s: %s\n", input.c_str(), error.c_str());
    return 1;
  }
  mkdir(directory.c_str(), 0777);  // may exist already; writing reports real failures
  if (!ss::WriteSoundSet(directory, result.config, result.patches, options.adpcm, &error)) {
    std::fprintf(stderr, "pocketmidi pack: %s\n", error.c_str());
    return 1;
  }
  if (verbose) {
    for (const std::string& note : result.notes) std::printf("note: %s\n", note.c_str());
  }
  struct stat archive = {};
  stat(ss::JoinPath(directory, *result.config.archiveFile).c_str(), &archive);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf("%s: %d programs (%d borrowed from neighbours), %d drum notes, %zu patches, "
              "archive %lld bytes, %.2f s\n",
              directory.c_str(), result.programsFound + result.programsBorrowed,
              result.programsBorrowed, result.drumNotes, result.patches.size(),
              static_cast<long long>(archive.st_size), seconds);
  return 0;
}

}  // namespace pocketmidi::cli
