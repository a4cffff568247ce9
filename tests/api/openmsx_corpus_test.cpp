// The default instrument set, made by the build from Debian's TimGM6mb, with
// the real General MIDI songs of openttd-openmsx: every song opens with all
// its instruments loaded up front, and every program and drum note it plays
// has one. Skipped when either package is missing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "instruments/instrument.h"
#include "support/render_fixture.h"
#include "support/song_reader.h"
#include "synth/synth_engine.h"

namespace pocketmidi::test {
namespace {

constexpr char kSongs[] = "/usr/share/games/openttd/baseset/openmsx";

bool Sounds(const InstrumentSlot& slot) {
  return slot.instrument != nullptr && !IsPendingInstrument(slot.instrument);
}

TEST(OpenMsxCorpus, EverySongOpensAndEveryInstrumentItPlaysSounds) {
  const std::string set = POCKETMIDI_DEFAULT_SOUNDSET_DIR;
  std::error_code error;
  if (!std::filesystem::exists(set + "zoltep") || !std::filesystem::is_directory(kSongs, error)) {
    GTEST_SKIP() << "needs timgm6mb-soundfont and openttd-openmsx";
  }
  int songs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(kSongs)) {
    if (entry.path().extension() != ".mid") continue;
    const std::string path = entry.path().string();
    SCOPED_TRACE(path);
    ++songs;
    std::ifstream in(path, std::ios::binary);
    const SongResult song = ReadSong(std::string(std::istreambuf_iterator<char>(in), {}));
    ASSERT_TRUE(song.loaded);
    std::set<int> programs, drumNotes;
    int program[16] = {};
    for (const auto& [time, channel, type, a, b] : song.events) {
      if (type == 9) program[channel] = a;  // program change
      if (type != 1 || b == 0) continue;    // sounding note-ons only
      (channel == 9 ? drumNotes : programs).insert(channel == 9 ? a : program[channel]);
    }
    render::OpenSong open(set, path);
    ASSERT_EQ(open.result, 0);
    const SynthEngine& engine = *open->engine;
    for (int p : programs) EXPECT_TRUE(Sounds(engine.toneSlots[p])) << "program " << p;
    for (int n : drumNotes) EXPECT_TRUE(Sounds(engine.drumSlots[n])) << "drum note " << n;
  }
  EXPECT_EQ(songs, 31);
}

}  // namespace
}  // namespace pocketmidi::test
