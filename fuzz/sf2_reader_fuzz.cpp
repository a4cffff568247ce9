// libFuzzer target: SoundFont 2 reading and conversion into an archive.
//   clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -Isrc -Itools \
//     fuzz/sf2_reader_fuzz.cpp tools/soundset/*.cpp -o sf2_reader_fuzz
#include <cstddef>
#include <cstdint>
#include <string>

#include "soundset/patch_archive_writer.h"
#include "soundset/sf2_reader.h"
#include "soundset/soundfont_pack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace ss = pocketmidi::soundset;
  ss::SoundFont font;
  std::string error;
  if (!ss::ReadSoundFont(data, size, &font, &error)) return 0;
  ss::PackOptions options;
  options.maxRateHz = 11025;
  ss::PackResult packed;
  if (!ss::PackSoundFont(font, options, &packed, &error)) return 0;
  ss::BuildArchive(packed.patches, /*compressed=*/true, &error);
  return 0;
}
