#include "instruments/patch_sample_data.h"

#include <cstdlib>
#include <cstring>

#include "instruments/instrument.h"
#include "instruments/patch_loader.h"
#include "io/byte_order.h"
#include "io/file_stream.h"
#include "voice/fixed_point.h"

namespace pocketmidi {

namespace {

// Fills buffer with loadBytes bytes of patch data: ADPCM decoded to
// loadBytes / 2 points (an early end leaves zeros), or raw bytes (a short
// read fails).
bool FillFromArchive(FileStream* archive, bool compressed, uint8_t* buffer, uint32_t loadBytes,
                     uint32_t compressedBytes) {
  if (compressed) {
    std::memset(buffer, 0, loadBytes);
    DecodeAdpcmStream(archive, reinterpret_cast<int16_t*>(buffer), loadBytes / 2, compressedBytes);
    return true;
  }
  if (loadBytes == 0) return true;
  return FileRead(archive, buffer, static_cast<int32_t>(loadBytes)) == static_cast<int32_t>(loadBytes);
}

int64_t Clamp(int64_t value, int64_t low, int64_t high) {
  return value < low ? low : (value > high ? high : value);
}

}  // namespace

bool ReadSampleData(FileStream* archive, bool compressed, bool sixteenBit, uint32_t storedBytes,
                    uint32_t compressedBytes, SampleData& out) {
  // A compressed byte holds two points, four bytes once decoded. The sizes
  // come from the file, so they are bounded before anything is allocated.
  const uint64_t loadBytes = compressed ? 4ull * storedBytes : storedBytes;
  const uint64_t widenedBytes = sixteenBit ? loadBytes : 2 * loadBytes;
  const uint64_t pointCount = widenedBytes / 2;
  if (pointCount > kMaxSamplePoints) return false;
  const uint32_t bytes = static_cast<uint32_t>(loadBytes);
  const size_t pointBufferBytes = (pointCount + kGuardPoints) * sizeof(int16_t);

  int16_t* points = static_cast<int16_t*>(std::malloc(pointBufferBytes));
  if (points == nullptr) return false;
  if (sixteenBit) {
    // An odd byte count leaves half a point; it is read but not played.
    if (!FillFromArchive(archive, compressed, reinterpret_cast<uint8_t*>(points), bytes,
                         compressedBytes)) {
      std::free(points);
      return false;
    }
    // Raw 16-bit points are stored little-endian; decoded ADPCM is already
    // in host order.
    if (!compressed) LittleEndian16ToHost(points, bytes / 2);
  } else {
    uint8_t* raw = static_cast<uint8_t*>(std::malloc(bytes + 2u));
    if (raw == nullptr || !FillFromArchive(archive, compressed, raw, bytes, compressedBytes)) {
      std::free(raw);
      std::free(points);
      return false;
    }
    // The byte goes to the high half, so signed 8-bit data stay signed.
    for (uint32_t i = 0; i < bytes; ++i) points[i] = static_cast<int16_t>(raw[i] << 8);
    std::free(raw);
  }
  out.points = points;
  out.pointCount = static_cast<uint32_t>(pointCount);
  out.byteLength = static_cast<uint32_t>(widenedBytes);
  FillGuardPoints(points, out.pointCount);
  return true;
}

void FlipUnsignedPoints(int16_t* points, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) points[i] = static_cast<int16_t>(points[i] ^ 0x8000);
}

void ReversePoints(int16_t* points, uint32_t count) {
  if (count < 2) return;
  for (uint32_t i = 0, j = count - 1; i < j; ++i, --j) {
    const int16_t swap = points[i];
    points[i] = points[j];
    points[j] = swap;
  }
}

void FillGuardPoints(int16_t* points, uint32_t count) {
  const int16_t last = count > 0 ? points[count - 1] : 0;
  for (uint32_t i = 0; i < kGuardPoints; ++i) points[count + i] = last;
}

// Percent to Q28, truncating like the integer formula it stands for:
// ((amp << 20) / 100) << 8. Amounts outside 0..800 (refused by the
// configuration reader) are held to that range.
uint32_t VolumeFromAmp(int32_t amp) {
  const uint64_t percent = amp < 0 ? 0 : (amp > 800 ? 800 : static_cast<uint64_t>(amp));
  return static_cast<uint32_t>(((percent << 20) / 100) * 256);
}

// 2^43 / peak, exact: a quiet sample (peak below 2048) needs more than 32
// bits and keeps them, as amp 800 does. A silent sample (peak 0) keeps unity
// gain (1.0) instead of dividing by zero.
uint64_t NormalisedVolume(const int16_t* points, uint32_t count) {
  int32_t peak = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const int32_t magnitude = points[i] < 0 ? -points[i] : points[i];
    if (magnitude > peak) peak = magnitude;
  }
  if (peak > 32767) peak = 32767;  // -32768 counts as 32767
  if (peak == 0) return 268435456u;
  return (1ull << 43) / static_cast<uint64_t>(peak);
}

// The renderer needs 0 <= loopStart < loopEnd for a loop and every position
// it reads within the data plus its guard points. Valid patches pass through
// unchanged; a loop end may carry a fraction into the interval after the last
// point (the guard points cover it). Positions outside that range are clamped
// into it, and a loop left empty or reversed is dropped: the sample then
// plays once through.
void SetSamplePositions(PatchSample& sample, const BytePositions& bytes, uint32_t pointCount,
                        uint8_t fractions, bool stripTail) {
  // Four-bit loop fractions: sixteenths of a point, i.e. Q12 units of 256.
  int64_t loopStart = PointsToPosition(bytes.loopStart / 2) + ((fractions & 0x0F) << 8);
  int64_t loopEnd = PointsToPosition(bytes.loopEnd / 2) + ((fractions >> 4) << 8);
  int64_t dataLength = PointsToPosition(bytes.dataLength / 2);
  if (stripTail) dataLength = loopEnd;  // the data after the loop are never played

  const int64_t limit = PointsToPosition(pointCount) | kPositionFractionMask;
  loopStart = Clamp(loopStart, 0, limit);
  loopEnd = Clamp(loopEnd, 0, limit);
  dataLength = Clamp(dataLength, 0, limit);
  if (loopEnd <= loopStart) sample.modes &= static_cast<uint8_t>(~(kModeLooping | kModePingPong));

  sample.loopStart = static_cast<int32_t>(loopStart);
  sample.loopEnd = static_cast<int32_t>(loopEnd);
  sample.dataLength = static_cast<int32_t>(dataLength);
}

}  // namespace pocketmidi
