#include "cli/load_diagnosis.h"

#include <sys/stat.h>

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "config/ini_file.h"
#include "instruments/instrument_bank.h"
#include "io/file_stream.h"
#include "platform/utf16_path.h"
#include "song/midi_song.h"
#include "synth/synth_engine.h"

namespace pocketmidi::cli {
namespace {

// The configuration directory as the engine narrows it ("\" when empty).
std::string NarrowDirectory(const char16_t* directory) {
  char narrow[128];
  const char16_t root[] = u"\\";
  WideToNarrow((directory && directory[0]) ? directory : root, narrow, sizeof narrow);
  return narrow;
}

bool LookUp(const IniFile* file, const char* section, const char* key, std::string* value) {
  char buffer[128];
  IniQuery query{section, key, buffer, kIniString, sizeof buffer};
  if (!IniFile::GetValue(file, &query) || buffer[0] == '\0') return false;
  *value = buffer;
  return true;
}

const char* PatchListKey(int32_t code) {
  switch (code) {
    case -7: return "bank_name is missing, empty or longer than 15 characters";
    case -8: return "bank_amp must be 0..800";
    case -9: return "drumset_amp must be 0..800 (or drumset_name is longer than 15 characters)";
    case -10: return "drumset_note must be 0..127";
    case -11: return "drumset_pan must be center, left, right or -100..100";
    case -12: return "drumset_strip_envelope must be 0 or 1";
    case -13: return "drumset_strip_loop must be 0 or 1";
    case -14: return "drumset_strip_tail must be 0 or 1";
    default: return "cannot be read";
  }
}

std::string DiagnosePatchList(const std::string& path) {
  std::unique_ptr<SynthEngine> engine(new (std::nothrow) SynthEngine(nullptr));
  if (!engine) return "out of memory";
  const std::string host = NarrowHandheldPathToHost(path.c_str());
  const int32_t code = engine->LoadPatchList(path.c_str());
  if (code == 0) return "";
  if (code == -3) return "patch list: cannot open '" + host + "'";
  // Sections are read in order and reading stops at the failing one: it is
  // the first without a name (-7) or the last with one (other codes).
  int section = 0;
  while (section < 127 && engine->toneSlots[section].name[0] != '\0') ++section;
  if (code != -7 && section > 0 && engine->toneSlots[section].name[0] == '\0') --section;
  return "patch list '" + host + "': section " + std::to_string(section) + ": " +
         PatchListKey(code);
}

// Index entry names of the archive, or false when it cannot be read.
bool ArchiveHasPatch(const std::string& hostPath, const char* name, bool* found) {
  FILE* file = std::fopen(hostPath.c_str(), "rb");
  if (file == nullptr) return false;
  uint8_t header[8];
  bool ok = std::fread(header, 1, 8, file) == 8;
  const uint32_t indexBytes = header[4] | header[5] << 8 | header[6] << 16 | uint32_t{header[7]} << 24;
  *found = false;
  for (uint32_t i = 0; ok && i < indexBytes / 24; ++i) {
    char entry[24];
    if (std::fread(entry, 1, 24, file) != 24) break;
    entry[15] = '\0';
    if (std::strcmp(entry, name) == 0) *found = true;
  }
  std::fclose(file);
  return ok;
}

}  // namespace

std::string MissingBootstrap(const char16_t* configDirectory) {
  const std::string directory = NarrowDirectory(configDirectory);
  const std::string host = NarrowHandheldPathToHost((directory + "zoltep").c_str());
  struct stat info;
  if (stat(host.c_str(), &info) == 0 && S_ISREG(info.st_mode)) return "";
  return "configuration: no file '" + host + "' (is '" +
         NarrowHandheldPathToHost(directory.c_str()) + "' an instrument set directory?)";
}

std::string DiagnoseConfiguration(const char16_t* configDirectory) {
  std::string missing = MissingBootstrap(configDirectory);
  if (!missing.empty()) return missing;
  const std::string directory = NarrowDirectory(configDirectory);
  const std::string bootstrap = directory + "zoltep";
  const std::string host = NarrowHandheldPathToHost(bootstrap.c_str());
  IniFile* file = IniFile::Open(bootstrap.c_str());
  if (file == nullptr) return "configuration: cannot read '" + host + "'";
  std::string patchList, archive;
  const bool hasConfig = LookUp(file, "FILES", "CONFIG", &patchList);
  const bool hasPat = LookUp(file, "FILES", "PAT", &archive);
  IniFile::Close(file);
  if (!hasConfig) return "configuration '" + host + "': [FILES] has no CONFIG (the patch list file name)";
  std::string problem = DiagnosePatchList(directory + patchList);
  if (!problem.empty()) return problem;
  if (!hasPat) return "configuration '" + host + "': [FILES] has no PAT (the patch archive file name)";
  if (directory.size() + archive.size() >= 260 || archive.size() > 63) {
    return "configuration '" + host + "': the patch archive path is too long";
  }
  return "";
}

std::string DiagnoseLoadFailure(const char16_t* configDirectory, const char16_t* songPath,
                                const FormatOverride* formatOverride) {
  std::string problem = DiagnoseConfiguration(configDirectory);
  if (!problem.empty()) return problem;
  // Two engines prepared alike: one only marks the instruments the song
  // needs, the other also loads them, so the failing slot is the one that
  // was marked and came back empty.
  std::unique_ptr<SynthEngine> marked(new (std::nothrow) SynthEngine(configDirectory));
  std::unique_ptr<SynthEngine> loaded(new (std::nothrow) SynthEngine(configDirectory));
  // A song frees its events only when told to; do it on every return.
  struct SongRelease {
    void operator()(MidiSong* s) const {
      s->ReleaseEvents();
      delete s;
    }
  };
  std::unique_ptr<MidiSong, SongRelease> song(new (std::nothrow) MidiSong());
  std::unique_ptr<MidiSong, SongRelease> song2(new (std::nothrow) MidiSong());
  if (!marked || !loaded || !song || !song2) return "out of memory";
  SynthEngine* engines[2] = {marked.get(), loaded.get()};
  MidiSong* songs[2] = {song.get(), song2.get()};
  for (int i = 0; i < 2; ++i) {
    engines[i]->LoadConfiguration();
    engines[i]->ApplyFormatOverride(formatOverride);
    songs[i]->spMidiEnabled = engines[i]->SpMidiEnabled();
    songs[i]->polyphonyLimit = engines[i]->VoiceCount();
    FileStream* stream = FileOpenW(songPath, kOpenRead);
    if (stream == nullptr) return "cannot open the song";
    const SongEventList* list = songs[i]->Load(stream, nullptr);
    FileClose(stream);
    const int32_t prepared = engines[i]->PrepareSong(list);
    if (prepared != 0) {
      songs[i]->ReleaseEvents();
      return list == nullptr ? "the song cannot be read" : "the song is too long or memory ran out";
    }
    engines[i]->channelRanks = songs[i]->ChannelOrder();
    songs[i]->ReleaseEvents();
  }
  const std::string archiveHost = HandheldPathToHost(marked->directory);
  FileStream* probe = FileOpenW(marked->directory, kOpenRead);
  if (probe == nullptr) return "patch archive: cannot open '" + archiveHost + "'";
  FileClose(probe);
  if (LoadInstruments(*loaded) == 0) return "the song could not be opened (cause unknown)";
  for (int drum = 0; drum < 2; ++drum) {
    for (int i = 0; i < 128; ++i) {
      const InstrumentSlot& before = drum ? marked->drumSlots[i] : marked->toneSlots[i];
      const InstrumentSlot& after = drum ? loaded->drumSlots[i] : loaded->toneSlots[i];
      if (!IsPendingInstrument(before.instrument) || after.instrument != nullptr ||
          before.name[0] == '\0') {
        continue;
      }
      const std::string what = std::string("instrument '") + before.name + "' (" +
                               (drum ? "drum note " : "program ") + std::to_string(i) + ")";
      bool found = false;
      if (ArchiveHasPatch(archiveHost, before.name, &found) && !found) {
        return what + " not in the archive '" + archiveHost + "'";
      }
      return what + ": patch in '" + archiveHost + "' is corrupt or too large to load";
    }
  }
  return "patch archive '" + archiveHost + "': index cannot be read or memory ran out";
}

}  // namespace pocketmidi::cli
