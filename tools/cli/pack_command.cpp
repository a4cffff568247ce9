// pocketmidi pack: builds an instrument set (configuration directory with the
// bootstrap file, patch list and patch archive) from a SoundFont 2 bank.
#include <sys/stat.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/commands.h"
#include "cli/input_check.h"
#include "cli/safe_output.h"
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
               "Builds an instrument set (zoltep, patch list, patch archive) from a SoundFont 2\n"
               "bank. The files of DIR are replaced only once all three are written.\n"
               "  -o DIR             the set's directory (required; created when missing)\n"
               "  --adpcm            store samples IMA ADPCM compressed (default: raw)\n"
               "  --max-rate HZ      resample samples above HZ down to HZ (default: keep)\n"
               "  --8bit             store 8-bit samples (default: 16-bit)\n"
               "  --normalize        let the player normalise each patch (default: levels)\n"
               "  --name-prefix P    prefix patch names with P, at most 10 characters\n"
               "                     (default: none)\n"
               "  --rate HZ          output rate: 8000 11025 16000 22050 32000 44100 (22050)\n"
               "  --bits 8|16        output bits (16)\n"
               "  --channels 1|2     output channels (2)\n"
               "  --polyphony N      voices (32)\n"
               "  -v                 list what was borrowed or left out (default: off)\n"
               "  -h, --help         this help\n"
               "example: pocketmidi pack /usr/share/sounds/sf2/TimGM6mb.sf2 -o ~/set --adpcm\n");
}

struct PackArgs {
  std::string input, directory;
  ss::PackOptions options;
  bool verbose = false;
};

// The command line into args; -1 to go on, else the exit status.
int ParsePackArgs(int argc, char** argv, PackArgs* args) {
  ss::PackOptions& options = args->options;
  FormatFlags format;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    const int consumed = ParseFormatFlag(argv[i], value, &format);
    if (consumed < 0) return kUsageError;
    if (consumed > 0) {
      i += consumed - 1;
      continue;
    }
    int32_t number = 0;
    if (arg == "-h" || arg == "--help") {
      PrintPackUsage(stdout);
      return 0;
    } else if (arg == "-o" && value) {
      args->directory = argv[++i];
    } else if (arg == "--adpcm") {
      options.adpcm = true;
    } else if (arg == "--8bit") {
      options.eightBit = true;
    } else if (arg == "--normalize") {
      options.normalize = true;
    } else if (arg == "-v") {
      args->verbose = true;
    } else if (arg == "--max-rate" && value) {
      if (!ParseInt(argv[++i], 1000, 65535, &number)) {
        std::fprintf(stderr, "pocketmidi pack: --max-rate wants 1000..65535 Hz\n");
        return kUsageError;
      }
      options.maxRateHz = static_cast<uint32_t>(number);
    } else if (arg == "--name-prefix" && value) {
      options.namePrefix = argv[++i];
    } else if ((arg == "-o" || arg == "--max-rate" || arg == "--name-prefix") && !value) {
      std::fprintf(stderr, "pocketmidi pack: %s needs a value\n", arg.c_str());
      return kUsageError;
    } else if (arg[0] != '-' && args->input.empty()) {
      args->input = arg;
    } else {
      std::fprintf(stderr, "pocketmidi pack: unexpected argument '%s'\n", arg.c_str());
      PrintPackUsage(stderr);
      return kUsageError;
    }
  }
  if (format.rate) options.rate = format.rate;
  if (format.bits) options.bits = format.bits;
  if (format.channels) options.channels = format.channels;
  if (format.polyphony) options.polyphony = format.polyphony;
  if (args->input.empty() || args->directory.empty()) {
    PrintPackUsage(stderr);
    return kUsageError;
  }
  return -1;
}

// The three files into the staging directory, then into place; the archive's
// size for the summary. On failure the target is as it was.
bool WriteSet(const PackArgs& args, const ss::PackResult& result, StagingDirectory* staging,
              size_t* archiveBytes) {
  std::string error;
  const ss::SoundSetConfig& config = result.config;
  const std::string bootstrap = ss::BootstrapText(config), patchList = ss::PatchListText(config);
  const std::vector<uint8_t> archive =
      ss::BuildArchive(result.patches, args.options.adpcm, &error);
  if (!config.archiveFile || !config.patchListFile) error = "the set names no patch list or archive";
  if (archive.empty() || !error.empty()) {
    std::fprintf(stderr, "pocketmidi pack: %s\n", error.c_str());
    return false;
  }
  if (!staging->Add(*config.archiveFile, archive, &error) ||
      !staging->Add(*config.patchListFile, {patchList.begin(), patchList.end()}, &error) ||
      !staging->Add(ss::kBootstrapFileName, {bootstrap.begin(), bootstrap.end()}, &error) ||
      !staging->Commit(&error)) {
    std::fprintf(stderr, "pocketmidi pack: %s; '%s' %s\n", error.c_str(), args.directory.c_str(),
                 staging->TargetExisted() ? "is left as it was" : "was not created");
    return false;
  }
  *archiveBytes = archive.size();
  return true;
}

}  // namespace

int RunPack(int argc, char** argv) {
  PackArgs args;
  const int parsed = ParsePackArgs(argc, argv, &args);
  if (parsed >= 0) return parsed;
  const std::string& input = args.input;
  const std::string inputProblem = InputFileProblem(input);
  if (!inputProblem.empty()) {
    std::fprintf(stderr, "pocketmidi pack: cannot read '%s': %s\n", input.c_str(),
                 inputProblem.c_str());
    return 1;
  }
  // Before the work: a target that cannot take the set is refused at once.
  std::string error;
  StagingDirectory staging;
  if (!staging.Create(args.directory, &error)) {
    std::fprintf(stderr, "pocketmidi pack: %s\n", error.c_str());
    return 1;
  }
  const auto started = std::chrono::steady_clock::now();
  ss::SoundFont font;
  ss::PackResult result;
  // Read here rather than by the SoundFont reader, for the tool's UTF-8
  // paths to reach Windows as UTF-16; the bytes go once they are parsed.
  const auto readFont = [&] {
    std::vector<uint8_t> bytes;
    return ReadInputFile(input, LONG_MAX, &bytes, &error) &&
           ss::ReadSoundFont(bytes.data(), bytes.size(), &font, &error);
  };
  if (!readFont() || !ss::PackSoundFont(font, args.options, &result, &error)) {
    std::fprintf(stderr, "pocketmidi pack: %s: %s\n", input.c_str(), error.c_str());
    return 1;
  }
  size_t archiveBytes = 0;
  if (!WriteSet(args, result, &staging, &archiveBytes)) return 1;
  if (args.verbose) {
    for (const std::string& note : result.notes) std::printf("note: %s\n", note.c_str());
  }

  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf(
      "%s: %d programs (%d borrowed from neighbours), %d drum notes, %zu patches, "
      "archive %zu bytes, %.2f s\n",
      args.directory.c_str(), result.programsFound + result.programsBorrowed,
      result.programsBorrowed, result.drumNotes, result.patches.size(), archiveBytes, seconds);
  return 0;
}

}  // namespace pocketmidi::cli
