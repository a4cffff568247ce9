#include "cli/load_diagnosis.h"

#include <memory>

#include "api/file_type.h"
#include "cli/host_files.h"
#include "api/midi_decoder.h"
#include "io/file_stream.h"
#include "platform/utf16_path.h"
#include "synth/engine_result.h"
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

std::string Quoted(const char* narrowPath) {
  return "'" + NarrowHandheldPathToHost(narrowPath) + "'";
}

const char* PatchListKey(int32_t code) {
  switch (code) {
    case kBankNameError: return "bank_name is missing, empty or longer than 15 characters";
    case kBankAmpError: return "bank_amp must be 0..800";
    case kDrumAmpError:
      return "drumset_amp must be 0..800 (or drumset_name is longer than 15 characters)";
    case kDrumNoteError: return "drumset_note must be 0..127";
    case kDrumPanError: return "drumset_pan must be center, left, right or -100..100";
    case kStripEnvelopeError: return "drumset_strip_envelope must be 0 or 1";
    case kStripLoopError: return "drumset_strip_loop must be 0 or 1";
    case kStripTailError: return "drumset_strip_tail must be 0 or 1";
    default: return "cannot be read";
  }
}

std::string DescribeConfiguration(const OpenFailure& failure) {
  const std::string file = Quoted(failure.file);
  switch (failure.stage) {
    case OpenStage::kBootstrapPath:
      return "configuration: the directory path is too long (over 127 bytes with the file "
             "name) or has characters beyond Latin-1";
    case OpenStage::kBootstrapFile:
      return "configuration: cannot read " + file;
    case OpenStage::kPatchListName:
      return "configuration " + file + ": [FILES] has no CONFIG (the patch list file name)";
    case OpenStage::kPatchList:
      if (failure.code == kEngineMissingInput) return "patch list: cannot open " + file;
      return "patch list " + file + ": section " + std::to_string(failure.index) + ": " +
             PatchListKey(failure.code);
    case OpenStage::kArchiveName:
      return "configuration " + file + ": [FILES] has no PAT (the patch archive file name)";
    case OpenStage::kArchivePath:
      return "configuration " + file + ": the patch archive path is too long";
    default:
      return "the configuration could not be read (cause unknown)";
  }
}

// The failure of an engine that was configured: the song and instrument
// steps name the archive (the engine's directory) and the failing slot.
std::string DescribeEngineFailure(const SynthEngine& engine) {
  const OpenFailure& failure = engine.openFailure;
  const std::string archive = "'" + HandheldPathToHost(engine.directory) + "'";
  switch (failure.stage) {
    case OpenStage::kNone:
      return "the song could not be opened (cause unknown)";
    case OpenStage::kAllocation:
      return "out of memory";
    case OpenStage::kSongRead:
      return "the song cannot be read";
    case OpenStage::kSongPreparation:
      return failure.code == kEngineLoadFailed
                 ? "out of memory while preparing the song"
                 : "the song is too long (over 2^31 output frames at this rate)";
    case OpenStage::kArchiveOpen:
      return "patch archive: cannot open " + archive;
    case OpenStage::kArchiveIndex:
      return "patch archive " + archive + ": out of memory for its index";
    case OpenStage::kPatchMissing:
    case OpenStage::kPatchLoad: {
      const int32_t index = failure.index & 127;
      const InstrumentSlot& slot = failure.drum ? engine.drumSlots[index] : engine.toneSlots[index];
      const std::string what = std::string("instrument '") + slot.name + "' (" +
                               (failure.drum ? "drum note " : "program ") +
                               std::to_string(index) + ")";
      if (failure.stage == OpenStage::kPatchMissing) {
        return what + " not in the archive " + archive;
      }
      return what + ": patch in " + archive + " is corrupt or too large to load";
    }
    default:
      return DescribeConfiguration(failure);
  }
}

}  // namespace

std::string MissingBootstrap(const char16_t* configDirectory) {
  const std::string directory = NarrowDirectory(configDirectory);
  const std::string bootstrap = NarrowHandheldPathToHost((directory + "zoltep").c_str());
  host::Kind kind;
  if (host::Inspect(bootstrap, &kind) == 0 && kind == host::Kind::kRegular) return "";
  return "configuration: no file '" + bootstrap + "' (is '" +
         NarrowHandheldPathToHost(directory.c_str()) + "' an instrument set directory?)";
}

std::string DescribeConfigurationFailure(const SynthEngine& engine) {
  return DescribeConfiguration(engine.openFailure);
}

std::string DescribeOpenFailure(const StreamDecoder& decoder) {
  const auto* midi = dynamic_cast<const MidiDecoder*>(&decoder);
  if (midi == nullptr) return "the song could not be opened (cause unknown)";
  if (midi->LastOpenFailure().stage == OpenStage::kAllocation || midi->engine == nullptr) {
    return "out of memory";
  }
  return DescribeEngineFailure(*midi->engine);
}

std::string DiagnoseLoadFailure(const char16_t* configDirectory, const char16_t* songPath,
                                const FormatOverride* formatOverride) {
  std::string missing = MissingBootstrap(configDirectory);
  if (!missing.empty()) return missing;
  FileStream* stream = FileOpenW(songPath, kOpenRead);
  if (stream == nullptr) return "cannot open the song";
  std::unique_ptr<StreamDecoder> decoder(CreateDecoder(DetectFileType(stream), configDirectory));
  std::string cause;
  if (!decoder) {
    cause = "not a MIDI file";
  } else if (decoder->Open(stream, formatOverride) != kDecoderOpened) {
    cause = DescribeOpenFailure(*decoder);
  } else {
    cause = "the song could not be opened (cause unknown)";
  }
  decoder.reset();
  FileClose(stream);
  return cause;
}

}  // namespace pocketmidi::cli
