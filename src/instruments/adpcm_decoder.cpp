#include "instruments/adpcm_decoder.h"

#include <cstring>

#include "instruments/patch_loader.h"
#include "io/file_stream.h"

namespace pocketmidi {

const int16_t kImaStepSizes[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,   253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,   876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749,  3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493,  10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

const int8_t kImaIndexChanges[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

void DecodeAdpcmBytes(AdpcmState& state, const uint8_t* bytes, uint32_t byteCount, int16_t* points) {
  for (uint32_t i = 0; i < byteCount; ++i) {
    points[2 * i] = DecodeAdpcmCode(state, bytes[i] >> 4);
    points[2 * i + 1] = DecodeAdpcmCode(state, bytes[i] & 15);
  }
}

// The stream is read through a fixed 500-byte piece and decoded into its
// 1000-point output piece, so no buffer the size of the compressed stream is
// needed. Points beyond destinationPoints are never written: a stream longer
// than the patch's data size claims stops once the destination is full. A
// stream that ends early leaves the rest of the destination as it was (the
// loader hands in zeroed memory, so the tail is silence).
void DecodeAdpcmStream(FileStream* archive, int16_t* destination, uint32_t destinationPoints,
                       uint32_t compressedBytes) {
  constexpr uint32_t kPieceBytes = 500;
  uint8_t piece[kPieceBytes];
  int16_t decoded[2 * kPieceBytes];
  AdpcmState state;
  uint32_t consumed = 0;
  uint32_t written = 0;
  while (consumed < compressedBytes && written < destinationPoints) {
    const uint32_t remaining = compressedBytes - consumed;
    const uint32_t want = remaining < kPieceBytes ? remaining : kPieceBytes;
    const int32_t got = FileRead(archive, piece, static_cast<int32_t>(want));
    if (got <= 0) break;
    const uint32_t bytes = static_cast<uint32_t>(got);
    DecodeAdpcmBytes(state, piece, bytes, decoded);
    uint32_t points = 2 * bytes;
    if (points > destinationPoints - written) points = destinationPoints - written;
    std::memcpy(destination + written, decoded, points * sizeof(int16_t));
    written += points;
    consumed += bytes;
  }
}

}  // namespace pocketmidi
