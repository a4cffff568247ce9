#include "cli/input_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/cli_options.h"
#include "cli/safe_output.h"
#include "cli/song_survey.h"
#include "config/ini_file.h"
#include "platform/utf16_path.h"

namespace pocketmidi::cli {
namespace {

constexpr size_t kNarrowPathBytes = 128;  // what the configuration code holds

const char* KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "it is a directory";
  if (S_ISFIFO(mode)) return "it is a FIFO";
  if (S_ISCHR(mode)) return "it is a character device";
  if (S_ISBLK(mode)) return "it is a block device";
  if (S_ISSOCK(mode)) return "it is a socket";
  return "it is not a regular file";
}

// The single-byte path the configuration code uses for a host path, or ""
// when it cannot name that path exactly.
std::string NarrowPathFor(const std::string& hostPath) {
  const std::u16string wide = Utf8ToUtf16(hostPath);
  char narrow[kNarrowPathBytes];
  if (!WideToNarrow(wide.c_str(), narrow, sizeof narrow)) return "";
  return NarrowHandheldPathToHost(narrow) == hostPath ? narrow : "";
}

std::string LookUp(IniFile* file, const char* key) {
  char value[128];
  IniQuery query{"FILES", key, value, kIniString, sizeof value};
  return IniFile::GetValue(file, &query) ? value : "";
}

}  // namespace

std::string InputFileProblem(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return SystemReason(errno);
  if (!S_ISREG(info.st_mode)) return KindOf(info.st_mode);
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK);
  if (fd < 0) return SystemReason(errno);
  close(fd);
  return "";
}

LibraryDirectory::~LibraryDirectory() {
  if (descriptor_ >= 0) close(descriptor_);
}

std::string LibraryDirectory::Check(const std::string& directory) {
  const std::string shown = WithTrailingSeparator(directory);
  struct stat info;
  if (stat(directory.c_str(), &info) != 0) {
    return "instrument set '" + directory + "': " + SystemReason(errno);
  }
  if (!S_ISDIR(info.st_mode)) {
    return "instrument set '" + directory + "': " + KindOf(info.st_mode) +
           ", not a directory";
  }
  const std::string bootstrap = shown + "zoltep";
  std::string problem = InputFileProblem(bootstrap);
  if (problem == SystemReason(ENOENT)) {
    return "configuration: no file '" + bootstrap + "' (is '" + shown +
           "' an instrument set directory?)";
  }
  if (!problem.empty()) return "configuration '" + bootstrap + "': " + problem;

  path_ = shown;
  if (NarrowPathFor(shown + "zoltep").empty()) {
#ifdef __linux__
    descriptor_ = open(directory.c_str(), O_RDONLY | O_DIRECTORY);
    if (descriptor_ >= 0) path_ = "/proc/self/fd/" + std::to_string(descriptor_) + "/";
#endif
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
