#include <gtest/gtest.h>

#include <vector>

#include "synth/synth_engine.h"
#include "synth/synth_test_song.h"

namespace pocketmidi {
namespace {

using test::kFrameDivision;
using test::kFrameTempo;
using test::TestSong;
using test::Tempo;

// Converts values through DeliverBytes into a large enough buffer.
std::vector<uint8_t> Convert(uint32_t flags, const std::vector<int32_t>& values) {
  SynthEngine engine(nullptr);
  engine.formatFlags = flags | kFormatMono;
  for (size_t i = 0; i < values.size(); ++i) engine.mixBuffer[i] = values[i];
  std::vector<uint8_t> out(2 * values.size() + 8, 0xEE);
  engine.outCursor = out.data();
  engine.outLeft = static_cast<uint32_t>(out.size());
  engine.outDone = 0;
  engine.DeliverBytes(reinterpret_cast<uint8_t*>(engine.mixBuffer),
                      static_cast<uint32_t>(values.size()), false);
  out.resize(engine.outDone);
  return out;
}

TEST(OutputConversion, SixteenBitShiftsBy13AndClamps) {
  const std::vector<int32_t> in = {1 << 28, -(1 << 28), 8191, -1, 8192, 32767 * 8192 + 8191,
                                   -32768 * 8192, 0x7FFFFFFF, INT32_MIN};
  const std::vector<int16_t> expected = {32767, -32768, 0, -1, 1, 32767, -32768, 32767, -32768};
  EXPECT_EQ(test::Samples16(Convert(kFormat16Bit, in)), expected);
}

TEST(OutputConversion, EightBitIsUnsignedAndKeepsSamplePairs) {
  const std::vector<int32_t> in = {0, 1 << 28, -(1 << 28), (1 << 21) - 1, -1, 1 << 21};
  const std::vector<uint8_t> expected = {128, 255, 0, 128, 127, 129};
  EXPECT_EQ(Convert(0, in), expected);
  // An odd number of mono 8-bit frames loses its last one.
  EXPECT_EQ(Convert(0, {0, 1 << 21, 1 << 28}), (std::vector<uint8_t>{128, 129}));
}

TEST(Milliseconds, RoundUpWithoutOverflow) {
  const struct {
    uint32_t rate;
    uint32_t frames;
    uint32_t ms;
  } cases[] = {{22050, 22050, 1000},      {22050, 22051, 1001},  {22050, 0, 0},
               {8000, 1, 1},              {44100, 0xFFFFFFFFu, 97391549},
               {8000, 0xFFFFFFFFu, 536870912}};
  for (const auto& c : cases) {
    SynthEngine engine(nullptr);
    engine.sampleRate = c.rate;
    engine.songSamples = c.frames;
    engine.currentSample = c.frames;
    EXPECT_EQ(engine.DurationMs(), c.ms) << c.rate << " " << c.frames;
    EXPECT_EQ(engine.PositionMs(), c.ms) << c.rate << " " << c.frames;
  }
}

// A song of the given length in frames (one frame per tick) with the given
// events; every program plays the constant instrument.
struct RenderFixture {
  RenderFixture(uint32_t flags, uint32_t frames, std::initializer_list<test::TickEvent> notes = {})
      : song(kFrameDivision, Events(frames, notes)) {
    engine.sampleRate = test::kTestRate;
    engine.formatFlags = flags;
    EXPECT_EQ(engine.PrepareSong(song.list()), 0);
    EXPECT_EQ(engine.songSamples, frames);
    for (InstrumentSlot& slot : engine.toneSlots) slot.instrument = instrument.get();
    engine.Seek(0);
  }
  ~RenderFixture() { test::DetachInstruments(engine); }
  // A silent note-off at tick 0 ends the lead-in there; the song ends with
  // another at `frames`.
  static std::vector<test::TickEvent> Events(uint32_t frames,
                                             std::initializer_list<test::TickEvent> notes) {
    std::vector<test::TickEvent> all = {Tempo(0, kFrameTempo), {0, 15, kNoteOn, 1, 0}};
    all.insert(all.end(), notes.begin(), notes.end());
    all.push_back({frames, 15, kNoteOff, 1, 0});
    return all;
  }
  test::ConstantInstrument instrument{8192};
  TestSong song;
  SynthEngine engine{nullptr};
};

TEST(RenderLoop, FullBlocksArePendingAndTheLastBlockIsShort) {
  RenderFixture f(kFormat16Bit, 2148);  // two blocks and 100 frames, stereo
  std::vector<uint8_t> buffer(8192);
  EXPECT_EQ(f.engine.Render(buffer.data(), 0), 0);  // renders a block, keeps it
  EXPECT_EQ(f.engine.pendingBytes, 4096u);
  EXPECT_EQ(f.engine.Render(buffer.data(), 4096), 4096);
  EXPECT_EQ(f.engine.pendingBytes, 4096u);  // the next block is ready
  EXPECT_EQ(f.engine.Render(buffer.data(), 4096), 4096);
  EXPECT_EQ(f.engine.pendingBytes, 400u);  // the last, short block
  EXPECT_EQ(f.engine.Render(buffer.data(), 4096), 400);
  EXPECT_EQ(f.engine.Render(buffer.data(), 4096), 0);
  EXPECT_EQ(f.engine.Render(buffer.data(), 4096), 0);
  EXPECT_EQ(f.engine.PositionMs(), f.engine.DurationMs());
}

TEST(RenderLoop, TotalBytesPerFormat) {
  const struct {
    uint32_t flags;
    uint32_t frames;
    size_t bytes;
  } cases[] = {{kFormat16Bit, 2148, 8592},        {kFormat16Bit | kFormatMono, 1025, 2050},
               {0, 1025, 2050},                   {kFormatMono, 1025, 1024},
               {kFormatMono, 1027, 1026},         {kFormat16Bit, 0, 0}};
  for (const auto& c : cases) {
    RenderFixture f(c.flags, c.frames);
    EXPECT_EQ(test::RenderAll(f.engine, 3000).size(), c.bytes) << c.flags << " " << c.frames;
  }
}

TEST(RenderLoop, EventsLandOnTheirExactFramesAcrossABlockBoundary) {
  RenderFixture f(kFormat16Bit | kFormatMono, 2000,
                  {{0, 0, kNoteOn, 60, 100}, {1020, 1, kNoteOn, 60, 100}, {1030, 2, kNoteOn, 60, 100}});
  const std::vector<int16_t> s = test::Samples16(test::RenderAll(f.engine, 4096));
  ASSERT_EQ(s.size(), 2000u);
  ASSERT_NE(s[0], 0);
  for (int i = 1; i < 1020; ++i) ASSERT_EQ(s[i], s[0]) << i;
  EXPECT_GT(s[1020], s[1019]);
  for (int i = 1021; i < 1030; ++i) ASSERT_EQ(s[i], s[1020]) << i;
  EXPECT_GT(s[1030], s[1029]);
}

TEST(RenderLoop, BytesDoNotDependOnTheCallCapacity) {
  const uint32_t capacities[] = {1, 4096, 35296, 1000000};
  std::vector<uint8_t> reference;
  for (uint32_t capacity : capacities) {
    RenderFixture f(kFormat16Bit, 5000,
                    {{0, 0, kNoteOn, 60, 100},
                     {1023, 1, kNoteOn, 64, 90},
                     {1024, 0, kVolume, 40, 0},
                     {2047, 1, kNoteOff, 64, 0},
                     {3000, 2, kNoteOn, 67, 127},
                     {4095, 0, kNoteOff, 60, 0}});
    const std::vector<uint8_t> bytes = test::RenderAll(f.engine, capacity);
    EXPECT_EQ(bytes.size(), 20000u) << capacity;
    if (reference.empty()) {
      reference = bytes;
    } else {
      EXPECT_EQ(bytes, reference) << capacity;
    }
  }
}

TEST(Seeking, ReplaysChannelStateAndResumesAtTheTarget) {
  RenderFixture f(kFormat16Bit | kFormatMono, 1000,
                  {{0, 0, kVolume, 50, 0},
                   {100, 0, kVolume, 70, 0},
                   {200, 0, kPan, 20, 0},
                   {300, 0, kNoteOn, 62, 100},
                   {350, 1, kProgramChange, 4, 0},
                   {350, 9, kProgramChange, 5, 0},
                   {400, 0, kExpression, 10, 0}});
  const SynthEvent* events = f.engine.events;
  struct Case {
    uint32_t target;
    int32_t volume, pan, program1, program9, expression;
    uint8_t nextType;
  } cases[] = {
      {300, 70, 20, 0, 0, 127, kPan},             // the event at the target is not replayed
      {360, 70, 20, 4, 0, 127, kProgramChange},   // drum channel keeps its program
      {50, 50, -1, 0, 0, 127, kVolume},
  };
  for (const Case& c : cases) {
    f.engine.Seek(c.target);
    EXPECT_EQ(f.engine.currentSample, c.target);
    EXPECT_EQ(f.engine.channels[0].volume, c.volume) << c.target;
    EXPECT_EQ(f.engine.channels[0].pan, c.pan) << c.target;
    EXPECT_EQ(f.engine.channels[1].program, c.program1) << c.target;
    EXPECT_EQ(f.engine.channels[9].program, c.program9) << c.target;
    EXPECT_EQ(f.engine.channels[0].expression, c.expression) << c.target;
    EXPECT_EQ(f.engine.nextEvent->type, c.nextType) << c.target;
    EXPECT_LT(f.engine.nextEvent->time, c.target);
    for (int32_t v = 0; v < f.engine.voiceCount; ++v) EXPECT_EQ(f.engine.voices[v].state, kVoiceFree);
  }
  EXPECT_GT(f.engine.nextEvent, events);

  // The last event before the target (here the NoteOn at 300) sounds again
  // at the target frame.
  f.engine.Seek(310);
  std::vector<uint8_t> two(4);
  ASSERT_EQ(f.engine.Render(two.data(), 4), 4);
  EXPECT_NE(test::Samples16(two)[0], 0);
  EXPECT_NE(f.engine.pendingBytes, 0u);
  f.engine.Seek(0);  // discards what was pending
  EXPECT_EQ(f.engine.pendingBytes, 0u);
  EXPECT_EQ(f.engine.nextEvent, events);

  // Past the end: at the song's last frame, on EndOfSong, nothing to render.
  f.engine.Seek(5000);
  EXPECT_EQ(f.engine.currentSample, 1000u);
  EXPECT_EQ(f.engine.nextEvent->type, kEndOfSong);
  EXPECT_EQ(f.engine.PositionMs(), f.engine.DurationMs());
  EXPECT_EQ(f.engine.Render(two.data(), 4), 0);
}

}  // namespace
}  // namespace pocketmidi
