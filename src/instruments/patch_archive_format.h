// The patch archive file, in one place: its sizes and field offsets, and the
// functions that turn its bytes into fields and back. Numbers are
// little-endian; there is no magic number or version.
//
//   0   4  compression flag (0: raw sample data, else IMA ADPCM everywhere)
//   4   4  index size in bytes (entries = size / 24)
//   8      index: 24-byte entries sorted by name in byte order
//          patches: 4 lead bytes (not read), the 51-byte header, the data
#pragma once

#include <cstdint>
#include <cstring>

#include "instruments/instrument.h"
#include "io/byte_order.h"

namespace pocketmidi {

constexpr uint32_t kArchiveHeaderBytes = 8;  // compression flag, index size
constexpr uint32_t kIndexEntryBytes = 24;    // name[16], offset, size
constexpr uint32_t kIndexNameBytes = 16;
constexpr uint32_t kIndexOffsetField = 16;
constexpr uint32_t kIndexSizeField = 20;
constexpr uint32_t kPatchLeadBytes = 4;     // skipped before each patch header
constexpr uint32_t kPatchHeaderBytes = 51;  // the index entry's size counts these too
constexpr uint32_t kPatchCheckedHeaderBytes = 47;  // the trailing 4 bytes are not used

// Offsets inside the 51-byte patch header.
enum PatchHeaderOffset : uint32_t {
  kHdrFractions = 0,  // low nibble: loop start sixteenths; high: loop end
  kHdrDataSize = 1,   // stored bytes (compressed bytes in an ADPCM archive)
  kHdrLoopStart = 5,  // bytes of the uncompressed stored data
  kHdrLoopEnd = 9,
  kHdrSampleRate = 13,  // 16 bits
  kHdrLowFreq = 15,     // milli-Hz
  kHdrHighFreq = 19,
  kHdrRootFreq = 23,
  kHdrBalance = 27,  // signed byte, 0 (left) .. 15 (right)
  kHdrEnvelopeRates = 28,
  kHdrEnvelopeOffsets = 34,
  kHdrTremoloSweep = 40,
  kHdrTremoloRate = 41,
  kHdrTremoloDepth = 42,
  kHdrVibratoSweep = 43,
  kHdrVibratoRate = 44,
  kHdrVibratoDepth = 45,
  kHdrModes = 46,     // PatchMode flags
  kHdrReserved = 47,  // 4 bytes, not read
};

struct ArchiveHeader {
  uint32_t compression;
  uint32_t indexBytes;
};

inline ArchiveHeader DecodeArchiveHeader(const uint8_t* bytes) {
  return {LoadLe32(bytes), LoadLe32(bytes + 4)};
}
inline void EncodeArchiveHeader(const ArchiveHeader& header, uint8_t* bytes) {
  StoreLe32(bytes, header.compression);
  StoreLe32(bytes + 4, header.indexBytes);
}

inline PatchIndexEntry DecodeIndexEntry(const uint8_t* bytes) {
  PatchIndexEntry entry;
  std::memcpy(entry.name, bytes, kIndexNameBytes);
  entry.offset = LoadLe32(bytes + kIndexOffsetField);
  entry.size = LoadLe32(bytes + kIndexSizeField);
  return entry;
}
inline void EncodeIndexEntry(const PatchIndexEntry& entry, uint8_t* bytes) {
  std::memcpy(bytes, entry.name, kIndexNameBytes);
  StoreLe32(bytes + kIndexOffsetField, entry.offset);
  StoreLe32(bytes + kIndexSizeField, entry.size);
}

// The fields of the 51-byte patch header.
struct PatchHeader {
  uint8_t fractions;
  uint32_t dataSize;
  uint32_t loopStart;
  uint32_t loopEnd;
  uint16_t sampleRate;
  int32_t lowFreq;
  int32_t highFreq;
  int32_t rootFreq;
  int8_t balance;
  uint8_t envelopeRates[6];
  uint8_t envelopeOffsets[6];
  uint8_t tremoloSweep, tremoloRate, tremoloDepth;
  uint8_t vibratoSweep, vibratoRate, vibratoDepth;
  uint8_t modes;
  uint32_t reserved;
};

inline PatchHeader DecodePatchHeader(const uint8_t* bytes) {
  PatchHeader header;
  header.fractions = bytes[kHdrFractions];
  header.dataSize = LoadLe32(bytes + kHdrDataSize);
  header.loopStart = LoadLe32(bytes + kHdrLoopStart);
  header.loopEnd = LoadLe32(bytes + kHdrLoopEnd);
  header.sampleRate = LoadLe16(bytes + kHdrSampleRate);
  header.lowFreq = static_cast<int32_t>(LoadLe32(bytes + kHdrLowFreq));
  header.highFreq = static_cast<int32_t>(LoadLe32(bytes + kHdrHighFreq));
  header.rootFreq = static_cast<int32_t>(LoadLe32(bytes + kHdrRootFreq));
  header.balance = static_cast<int8_t>(bytes[kHdrBalance]);
  std::memcpy(header.envelopeRates, bytes + kHdrEnvelopeRates, 6);
  std::memcpy(header.envelopeOffsets, bytes + kHdrEnvelopeOffsets, 6);
  header.tremoloSweep = bytes[kHdrTremoloSweep];
  header.tremoloRate = bytes[kHdrTremoloRate];
  header.tremoloDepth = bytes[kHdrTremoloDepth];
  header.vibratoSweep = bytes[kHdrVibratoSweep];
  header.vibratoRate = bytes[kHdrVibratoRate];
  header.vibratoDepth = bytes[kHdrVibratoDepth];
  header.modes = bytes[kHdrModes];
  header.reserved = LoadLe32(bytes + kHdrReserved);
  return header;
}

inline void EncodePatchHeader(const PatchHeader& header, uint8_t* bytes) {
  bytes[kHdrFractions] = header.fractions;
  StoreLe32(bytes + kHdrDataSize, header.dataSize);
  StoreLe32(bytes + kHdrLoopStart, header.loopStart);
  StoreLe32(bytes + kHdrLoopEnd, header.loopEnd);
  StoreLe16(bytes + kHdrSampleRate, header.sampleRate);
  StoreLe32(bytes + kHdrLowFreq, static_cast<uint32_t>(header.lowFreq));
  StoreLe32(bytes + kHdrHighFreq, static_cast<uint32_t>(header.highFreq));
  StoreLe32(bytes + kHdrRootFreq, static_cast<uint32_t>(header.rootFreq));
  bytes[kHdrBalance] = static_cast<uint8_t>(header.balance);
  std::memcpy(bytes + kHdrEnvelopeRates, header.envelopeRates, 6);
  std::memcpy(bytes + kHdrEnvelopeOffsets, header.envelopeOffsets, 6);
  bytes[kHdrTremoloSweep] = header.tremoloSweep;
  bytes[kHdrTremoloRate] = header.tremoloRate;
  bytes[kHdrTremoloDepth] = header.tremoloDepth;
  bytes[kHdrVibratoSweep] = header.vibratoSweep;
  bytes[kHdrVibratoRate] = header.vibratoRate;
  bytes[kHdrVibratoDepth] = header.vibratoDepth;
  bytes[kHdrModes] = header.modes;
  StoreLe32(bytes + kHdrReserved, header.reserved);
}

}  // namespace pocketmidi
