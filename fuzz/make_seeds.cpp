// Writes the seed corpora of the fuzz targets, one directory per target
// (midi, ini, pat, sf2) under the directory given: small valid inputs that
// reach deep into each parser, for the mutations to start from.
//   make_seeds DIR
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz_files.h"
#include "support/sf2_builder.h"

namespace {

namespace ss = pocketmidi::soundset;

// Format 1, two tracks: tempo and a name, then program changes, controllers
// (volume, pan, sustain, expression, bend range by RPN, reset), a bend, key
// pressure and notes on a melodic channel and the drum channel.
const uint8_t kSong[] = {
    'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 2, 0, 96,                     //
    'M', 'T', 'r', 'k', 0, 0, 0, 18,                                       //
    0, 0xFF, 0x51, 3, 0x07, 0xA1, 0x20, 0, 0xFF, 0x03, 3, 'a', 'b', 'c',  //
    0, 0xFF, 0x2F, 0,                                                      //
    'M', 'T', 'r', 'k', 0, 0, 0, 75,                                       //
    0, 0xC0, 1, 0, 0xB0, 7, 100, 0, 0xB0, 10, 20, 0, 0xB0, 11, 90,         //
    0, 0xB0, 101, 0, 0, 0xB0, 100, 0, 0, 0xB0, 6, 12,                      //
    0, 0x90, 60, 100, 0, 0x99, 36, 127, 10, 0xA0, 60, 50,                  //
    10, 0xE0, 0, 80, 0, 0xB0, 64, 127, 20, 0x80, 60, 0, 0, 0x89, 36, 0,    //
    20, 0xB0, 64, 0, 0, 0xB0, 121, 0, 0, 0xB0, 123, 0, 0, 0xB0, 120, 0,    //
    0, 0xFF, 0x2F, 0};

bool Write(const std::string& path, const std::vector<uint8_t>& bytes) {
  return ss::WriteBytesToFile(path, bytes);
}

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<uint8_t> SmallSoundFont() {
  pocketmidi::testsupport::Sf2Builder font;
  std::vector<int16_t> points;
  for (int i = 0; i < 256; ++i) points.push_back(static_cast<int16_t>((i % 32) * 1000 - 16000));
  const int sample = font.AddSample("saw", points, 64, 192);
  const int instrument = font.AddInstrument("saw", {{{{54, 1}}, sample}});  // loop
  font.AddPreset("saw", 0, 0, {{{}, instrument}});
  return font.Build();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds DIR\n");
    return 2;
  }
  const std::string dir = std::string(argv[1]) + "/";
  mkdir(dir.c_str(), 0755);
  for (const char* sub : {"midi", "ini", "pat", "sf2"}) mkdir((dir + sub).c_str(), 0755);
  const ss::SoundSetConfig config = pocketmidi::fuzz::TwoPatchConfig();
  const std::vector<ss::PatchDescription> patches = pocketmidi::fuzz::TwoPatches();
  const bool ok = Write(dir + "midi/song.mid", {std::begin(kSong), std::end(kSong)}) &&
                  Write(dir + "ini/zoltep", Bytes(ss::BootstrapText(config))) &&
                  Write(dir + "ini/patches.cfg", Bytes(ss::PatchListText(config))) &&
                  Write(dir + "pat/raw.pat", ss::BuildArchive(patches, false)) &&
                  Write(dir + "pat/adpcm.pat", ss::BuildArchive(patches, true)) &&
                  Write(dir + "sf2/saw.sf2", SmallSoundFont());
  return ok ? 0 : 1;
}
