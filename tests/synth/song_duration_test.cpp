// A song's duration straight from its event list.
#include <gtest/gtest.h>

#include <vector>

#include "song/song_event.h"
#include "synth/song_duration.h"

namespace pocketmidi::test {
namespace {

struct DurationCase {
  const char* name;
  int32_t division;
  std::vector<SongEvent> events;  // after the head entry
  int32_t expectedMs;
};

SongEvent Note(uint32_t time, uint8_t velocity = 100) { return {time, 0, kNoteOn, 60, velocity, nullptr}; }
SongEvent Tempo(uint32_t time, uint32_t us) {
  return {time, static_cast<uint8_t>(us), kTempo, static_cast<uint8_t>(us >> 16),
          static_cast<uint8_t>(us >> 8), nullptr};
}
SongEvent Volume(uint32_t time) { return {time, 0, kVolume, 100, 0, nullptr}; }

int32_t Duration(int32_t division, std::vector<SongEvent> events) {
  events.insert(events.begin(), SongEvent{0, 0, kListHead, 0, 0, nullptr});
  for (size_t i = 0; i + 1 < events.size(); ++i) events[i].next = &events[i + 1];
  const SongEventList list{events.data(), static_cast<uint32_t>(events.size()), division};
  return SongDurationMs(&list);
}

class DurationTest : public testing::TestWithParam<DurationCase> {};

TEST_P(DurationTest, Milliseconds) {
  EXPECT_EQ(Duration(GetParam().division, GetParam().events), GetParam().expectedMs);
  EXPECT_EQ(SongDurationMs(nullptr), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Synth, DurationTest,
    testing::Values(
        // 10000 ticks at 500000 us and 96 ticks: 52083333 us, beyond 32 bits before dividing.
        DurationCase{"LongRestIsNotWrapped", 96, {Note(0), Note(10000, 0)}, 52083},
        DurationCase{"LeadInDoesNotCount", 96, {Volume(0), Tempo(500, 250000), Volume(900), Note(1000),
                                                Note(1096, 0)}, 250},
        DurationCase{"SilentFirstNoteStartsTheSong", 96, {Note(100, 0), Note(196)}, 500},
        DurationCase{"NewTempoTimesItsOwnDelta", 96, {Note(0), Tempo(96, 250000), Note(192, 0)}, 500},
        // Each delta is truncated on its own: 3 x 333 us, not 1000 us.
        DurationCase{"TruncatesPerDelta", 3, {Tempo(0, 1000), Note(0), Note(1), Note(2), Note(3)}, 0},
        // The microsecond total is a signed 32-bit count.
        DurationCase{"TotalWrapsAt31Bits", 1, {Note(0), Note(5000, 0)}, -1794967},
        DurationCase{"DivisionZero", 0, {Note(0), Note(96)}, 0},
        DurationCase{"NoNotes", 96, {Volume(0), Volume(5000)}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pocketmidi::test
