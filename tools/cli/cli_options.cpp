#include "cli/cli_options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "cli/host_files.h"
#include "cli/load_diagnosis.h"
#include "synth/synth_engine.h"

#ifndef POCKETMIDI_DEFAULT_SOUNDSET
#define POCKETMIDI_DEFAULT_SOUNDSET "soundset"
#endif
#ifndef POCKETMIDI_INSTALLED_SOUNDSET
#define POCKETMIDI_INSTALLED_SOUNDSET POCKETMIDI_DEFAULT_SOUNDSET
#endif

namespace pocketmidi::cli {

bool ParseInt(const char* text, int32_t low, int32_t high, int32_t* value) {
  if (text == nullptr || *text == '\0') return false;
  errno = 0;
  char* end = nullptr;
  const long long parsed = std::strtoll(text, &end, 10);
  if (errno != 0 || *end != '\0' || parsed < low || parsed > high) return false;
  *value = static_cast<int32_t>(parsed);
  return true;
}

int ParseFormatFlag(const char* arg, const char* value, FormatFlags* flags) {
  struct Flag {
    const char* name;
    int32_t FormatFlags::*field;
    int32_t low, high;
    const char* expects;
  };
  static constexpr Flag kFlags[] = {
      {"--rate", &FormatFlags::rate, 8000, 44100, "8000, 11025, 16000, 22050, 32000 or 44100"},
      {"--bits", &FormatFlags::bits, 8, 16, "8 or 16"},
      {"--channels", &FormatFlags::channels, 1, 2, "1 or 2"},
      {"--polyphony", &FormatFlags::polyphony, 1, 0x7FFFFFFF, "a voice count of at least 1"},
  };
  for (const Flag& flag : kFlags) {
    if (std::strcmp(arg, flag.name) != 0) continue;
    int32_t parsed = 0;
    bool ok = ParseInt(value, flag.low, flag.high, &parsed);
    if (ok && flag.field == &FormatFlags::rate) {
      ok = parsed == 8000 || parsed == 11025 || parsed == 16000 || parsed == 22050 ||
           parsed == 32000 || parsed == 44100;
    }
    if (ok && flag.field == &FormatFlags::bits) ok = parsed == 8 || parsed == 16;
    if (!ok) {
      std::fprintf(stderr, "pocketmidi: %s wants %s, not '%s'\n", flag.name, flag.expects,
                   value ? value : "");
      return -1;
    }
    flags->*flag.field = parsed;
    return 2;
  }
  return 0;
}

bool ParseSongArgs(const char* command, int argc, char** argv, const IntOption* ints,
                   size_t intCount, bool takesOutput, SongArgs* args) {
  args->config = DefaultConfigDirectory();
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (!std::strcmp(arg, "-h") || !std::strcmp(arg, "--help")) {
      args->help = true;
      return true;
    }
    const int consumed = ParseFormatFlag(arg, value, &args->format);
    if (consumed < 0) return false;
    if (consumed > 0) {
      i += consumed - 1;
      continue;
    }
    const IntOption* matched = nullptr;
    for (size_t k = 0; k < intCount; ++k) {
      if (!std::strcmp(arg, ints[k].name)) matched = &ints[k];
    }
    if (matched != nullptr) {
      if (!ParseInt(value, matched->low, matched->high, matched->value)) {
        std::fprintf(stderr, "pocketmidi %s: %s wants %s, not '%s'\n", command, matched->name,
                     matched->expects, value ? value : "");
        return false;
      }
      ++i;
    } else if (!std::strcmp(arg, "--config") && value) {
      args->config = value;
      ++i;
    } else if (takesOutput && (!std::strcmp(arg, "-o") || !std::strcmp(arg, "--output")) &&
               value) {
      args->output = value;
      ++i;
    } else if (!std::strcmp(arg, "--config") || (takesOutput && (!std::strcmp(arg, "-o") ||
                                                                 !std::strcmp(arg, "--output")))) {
      std::fprintf(stderr, "pocketmidi %s: %s needs a value\n", command, arg);
      return false;
    } else if (arg[0] == '-' && arg[1] != '\0') {
      std::fprintf(stderr, "pocketmidi %s: unknown option '%s'\n", command, arg);
      return false;
    } else if (args->song.empty()) {
      args->song = arg;
    } else {
      std::fprintf(stderr, "pocketmidi %s: unexpected argument '%s'\n", command, arg);
      return false;
    }
  }
  return true;
}

void PrintSetOptionsHelp(FILE* out) {
  std::fprintf(out,
               "  --config DIR       instrument set directory (default: $POCKETMIDI_SOUNDSET,\n"
               "                     else %s)\n"
               "  --rate HZ          output rate: 8000 11025 16000 22050 32000 44100\n"
               "                     (default: the set's RATE)\n"
               "  --bits 8|16        output bits (default: the set's BITS)\n"
               "  --channels 1|2     output channels (default: the set's CHANNELS)\n"
               "  --polyphony N      most voices at once (default: the set's POLYPHONES)\n",
               DefaultConfigDirectory().c_str());
}

std::string DefaultConfigDirectory() {
  const char* env = std::getenv("POCKETMIDI_SOUNDSET");
  if (env != nullptr && *env != '\0') return env;
  // The build tree's set while it exists; an installed tool finds the set
  // installed beside it.
  host::Kind kind;
  const std::string built = POCKETMIDI_DEFAULT_SOUNDSET;
  if (host::Inspect(built + "/zoltep", &kind) == 0) return built;
  return POCKETMIDI_INSTALLED_SOUNDSET;
}

std::string WithTrailingSeparator(const std::string& directory) {
  if (directory.empty() || directory.back() == '/' || directory.back() == '\\') return directory;
  return directory + "/";
}

bool FillFormatOverride(const char16_t* configDirectory, const FormatFlags& flags,
                        FormatOverride* out, std::string* problem) {
  // The fields apply in order up to the first refused one, and those after
  // it keep the configuration's values. So when the given flags lead the
  // order (--rate, or --rate --bits --channels), the first one left out is
  // sent as 0, which is refused, and the configuration is not read here
  // (the song's open reads it, and reports it if it is unusable).
  const int32_t given[] = {flags.rate, flags.bits, flags.channels, flags.polyphony};
  int leading = 0;
  while (leading < 4 && given[leading] != 0) ++leading;
  bool laterGiven = false;
  for (int i = leading; i < 4; ++i) laterGiven = laterGiven || given[i] != 0;
  if (!laterGiven) {
    out->sampleRate = static_cast<uint32_t>(flags.rate);
    out->bitsPerSample = static_cast<uint32_t>(flags.bits);
    out->channels = static_cast<uint32_t>(flags.channels);
    out->polyphony = flags.polyphony;
    return true;
  }
  std::unique_ptr<SynthEngine> engine(new (std::nothrow) SynthEngine(configDirectory));
  if (!engine) {
    *problem = "out of memory";
    return false;
  }
  if (engine->LoadConfiguration() != 0) {
    *problem = DescribeConfigurationFailure(*engine);
    return false;
  }
  out->sampleRate = flags.rate ? static_cast<uint32_t>(flags.rate) : engine->sampleRate;
  out->bitsPerSample = flags.bits ? static_cast<uint32_t>(flags.bits)
                                  : ((engine->formatFlags & kFormat16Bit) ? 16u : 8u);
  out->channels = flags.channels ? static_cast<uint32_t>(flags.channels)
                                 : ((engine->formatFlags & kFormatMono) ? 1u : 2u);
  out->polyphony = flags.polyphony ? flags.polyphony : engine->voiceCount;
  return true;
}


bool ResolveFormatOverride(const char* command, const char16_t* configDirectory,
                           const FormatFlags& flags, FormatOverride* storage,
                           const FormatOverride** result) {
  *result = nullptr;
  if (!flags.AnyGiven()) return true;
  std::string problem;
  if (!FillFormatOverride(configDirectory, flags, storage, &problem)) {
    std::fprintf(stderr, "pocketmidi %s: %s\n", command, problem.c_str());
    return false;
  }
  *result = storage;
  return true;
}

std::string ProgressBar(int32_t position, int32_t duration) {
  constexpr int kCells = 40;
  int filled = duration > 0 ? static_cast<int>(int64_t{kCells} * position / duration) : 0;
  filled = filled < 0 ? 0 : (filled > kCells ? kCells : filled);
  return "[" + std::string(filled, '#') + std::string(kCells - filled, ' ') + "]";
}

}  // namespace pocketmidi::cli
