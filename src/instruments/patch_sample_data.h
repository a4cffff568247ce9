// The sample-data steps of loading a patch: reading (raw or IMA ADPCM),
// widening 8-bit data, sign and direction fixes, guard points, the sample
// volume and the Q12 loop and length positions.
#pragma once

#include <cstdint>

namespace pocketmidi {

struct FileStream;
struct PatchSample;

// Q12 positions live in signed 32 bits, so a sample holds at most this many
// points; (kMaxSamplePoints << 12) | 0xFFF is exactly INT32_MAX.
constexpr uint32_t kMaxSamplePoints = (1u << 19) - 1;

// Every data buffer has two points after the last one, both copies of it
// (zero for an empty sample): interpolation in the last interval, and a loop
// end carrying a fraction of a point past the last point, stay in bounds.
constexpr uint32_t kGuardPoints = 2;

struct SampleData {
  int16_t* points = nullptr;  // pointCount + kGuardPoints entries, malloc'ed
  uint32_t pointCount = 0;
  uint32_t byteLength = 0;    // the loader's dataLength in bytes after widening
};

// Reads the patch's data at the archive's current position into signed
// 16-bit points. storedBytes is the header's data size, compressedBytes the
// ADPCM byte count (entry size - 51). False (nothing allocated) on a short
// raw read, an allocation failure or data too long for Q12 positions.
bool ReadSampleData(FileStream* archive, bool compressed, bool sixteenBit, uint32_t storedBytes,
                    uint32_t compressedBytes, SampleData& out);

void FlipUnsignedPoints(int16_t* points, uint32_t count);  // XOR 0x8000
void ReversePoints(int16_t* points, uint32_t count);
void FillGuardPoints(int16_t* points, uint32_t count);

// Q28 volume for amp percent 0..800 (800 gives exactly 2^31).
uint32_t VolumeFromAmp(int32_t amp);
// Q28 volume that brings the loudest point to full scale.
uint64_t NormalisedVolume(const int16_t* points, uint32_t count);

// Loop and length in bytes of the widened data, as the header and the
// reversal left them (may be anywhere for a corrupt patch).
struct BytePositions {
  int64_t loopStart;
  int64_t loopEnd;
  int64_t dataLength;
};

// Converts to Q12 points with the header's fraction nibbles, applies
// stripTail, and repairs what the renderer could not survive; stores
// loopStart, loopEnd, dataLength and may clear the loop flags in modes.
void SetSamplePositions(PatchSample& sample, const BytePositions& bytes, uint32_t pointCount,
                        uint8_t fractions, bool stripTail);

}  // namespace pocketmidi
