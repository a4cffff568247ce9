#include "cli/input_check.h"

#include <cerrno>
#include <cstdio>

#include "cli/cli_options.h"
#include "cli/host_files.h"
#include "cli/safe_output.h"
#include "cli/song_survey.h"
#include "config/ini_file.h"
#include "platform/utf16_path.h"

namespace pocketmidi::cli {
namespace {

constexpr size_t kNarrowPathBytes = 128;  // what the configuration code holds

const char* KindOf(host::Kind kind) {
  switch (kind) {
    case host::Kind::kDirectory: return "it is a directory";
    case host::Kind::kFifo: return "it is a FIFO";
    case host::Kind::kCharacterDevice: return "it is a character device";
    case host::Kind::kBlockDevice: return "it is a block device";
    case host::Kind::kSocket: return "it is a socket";
    default: return "it is not a regular file";
  }
}

// The path with each of the system's separators as '/', the one the
// library's host paths use ('\' too on Windows, where both separate).
std::string WithSlashes(std::string path) {
  for (char& c : path) c = host::IsSeparator(c) ? '/' : c;
  return path;
}

// The single-byte path the configuration code uses for a host path, or ""
// when it cannot name that path exactly.
std::string NarrowPathFor(const std::string& hostPath) {
  const std::u16string wide = Utf8ToUtf16(hostPath);
  char narrow[kNarrowPathBytes];
  if (!WideToNarrow(wide.c_str(), narrow, sizeof narrow)) return "";
  return NarrowHandheldPathToHost(narrow) == WithSlashes(hostPath) ? narrow : "";
}

std::string LookUp(IniFile* file, const char* key) {
  char value[128];
  IniQuery query{"FILES", key, value, kIniString, sizeof value};
  return IniFile::GetValue(file, &query) ? value : "";
}

}  // namespace

std::string InputFileProblem(const std::string& path) {
  host::Kind kind = host::Kind::kOther;
  int reason = host::Inspect(path, &kind);
  if (reason != 0) return SystemReason(reason);
  if (kind != host::Kind::kRegular) return KindOf(kind);
  reason = host::ProbeOpen(path, false);
  return reason != 0 ? SystemReason(reason) : "";
}

bool ReadInputFile(const std::string& path, long maxBytes, std::vector<uint8_t>* bytes,
                   std::string* error) {
  int reason = 0;
  FILE* file = host::OpenForReading(path, &reason);
  if (file == nullptr) {
    *error = "cannot open " + path;
    return false;
  }
  // A size past what ftell's long holds reads as -1: too large as well.
  const long size = std::fseek(file, 0, SEEK_END) == 0 ? std::ftell(file) : -1;
  bool ok = size >= 0 && size <= maxBytes && std::fseek(file, 0, SEEK_SET) == 0;
  if (ok) {
    bytes->resize(static_cast<size_t>(size));
    ok = std::fread(bytes->data(), 1, bytes->size(), file) == bytes->size();
  }
  std::fclose(file);
  if (!ok) *error = "cannot read " + path;
  return ok;
}

LibraryDirectory::~LibraryDirectory() { host::CloseDirectoryAlias(descriptor_); }

std::string LibraryDirectory::Check(const std::string& directory) {
  const std::string shown = WithTrailingSeparator(directory);
  host::Kind kind = host::Kind::kOther;
  const int reason = host::Inspect(directory, &kind);
  if (reason != 0) return "instrument set '" + directory + "': " + SystemReason(reason);
  if (kind != host::Kind::kDirectory) {
    return "instrument set '" + directory + "': " + KindOf(kind) + ", not a directory";
  }
  const std::string bootstrap = shown + "zoltep";
  std::string problem = InputFileProblem(bootstrap);
  // Compared only when there is a problem: strerror is not needed otherwise.
  if (!problem.empty() && problem == SystemReason(ENOENT)) {
    return "configuration: no file '" + bootstrap + "' (is '" + shown +
           "' an instrument set directory?)";
  }
  if (!problem.empty()) return "configuration '" + bootstrap + "': " + problem;

  path_ = shown;
  if (NarrowPathFor(shown + "zoltep").empty()) {
    const std::string alias = host::OpenDirectoryAlias(directory, &descriptor_);
    if (!alias.empty()) path_ = alias;
    if (NarrowPathFor(path_ + "zoltep").empty()) {
      return "instrument set '" + directory +
             "': the library cannot name this directory (at most 120 bytes of Latin-1)";
    }
  }
  IniFile* file = IniFile::Open(NarrowPathFor(path_ + "zoltep").c_str());
  if (file == nullptr) return "configuration '" + bootstrap + "': cannot be read";
  const std::string patchList = LookUp(file, "CONFIG");
  const std::string archive = LookUp(file, "PAT");
  IniFile::Close(file);
  const struct {
    const std::string& name;
    const char *key, *what;
  } named[] = {{patchList, "CONFIG", "the patch list"}, {archive, "PAT", "the patch archive"}};
  for (const auto& file : named) {
    if (file.name.empty()) {
      return "configuration '" + bootstrap + "': [FILES] has no " + file.key + " (" + file.what +
             " file name)";
    }
    // The library reads these names byte by byte, '\' as a separator.
    const std::string host = NarrowHandheldPathToHost(file.name.c_str());
    problem = InputFileProblem(path_ + host);
    if (!problem.empty()) {
      return std::string(file.what) + " '" + shown + host + "' (named by " + file.key + " in '" +
             bootstrap + "'): " + problem;
    }
  }
  return "";
}

bool CheckSongAndSet(const char* command, const char* songVerb, const SongArgs& args,
                     LibraryDirectory* set) {
  const char* song = args.song.c_str();
  const std::string songProblem = InputFileProblem(args.song);
  if (!songProblem.empty()) {
    std::fprintf(stderr, "pocketmidi %s: %s '%s': %s\n", command, songVerb, song,
                 songProblem.c_str());
    return false;
  }
  SongSurvey survey;
  SurveySong(args.song, &survey);
  for (const std::string& damage : DamageOf(survey)) {
    std::fprintf(stderr, "pocketmidi %s: warning: '%s': %s\n", command, song, damage.c_str());
  }
  // Before anything reads the configuration, which would create a missing
  // file empty.
  const std::string setProblem = set->Check(args.config);
  if (!setProblem.empty()) {
    std::fprintf(stderr, "pocketmidi %s: %s\n", command, setProblem.c_str());
    return false;
  }
  return true;
}

}  // namespace pocketmidi::cli
