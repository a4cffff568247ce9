// libFuzzer target: the configuration file reader, through plain look-ups
// and through the patch list schema that reads all 128 program sections.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "config/ini_file.h"
#include "fuzz_files.h"
#include "synth/synth_engine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pocketmidi;
  const std::string path = fuzz::WriteInput("config.ini", data, size);
  if (IniFile* file = IniFile::Open(path.c_str())) {
    char text[64];
    int32_t number = 0;
    const char* sections[] = {nullptr, "FILES", "OUTPUT", "0", "127", ""};
    const char* keys[] = {"PAT", "RATE", "bank_name", "drumset_pan", ""};
    for (const char* section : sections) {
      for (const char* key : keys) {
        IniQuery asText{section, key, text, kIniString, sizeof text};
        IniFile::GetValue(file, &asText);
        IniQuery asNumber{section, key, nullptr, kIniInteger, 0, &number};
        IniFile::GetValue(file, &asNumber);
      }
    }
    IniFile::Close(file);
  }
  std::unique_ptr<SynthEngine> engine(new SynthEngine(nullptr));
  engine->LoadPatchList(path.c_str());
  return 0;
}
