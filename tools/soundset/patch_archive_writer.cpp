#include "soundset/patch_archive_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "instruments/instrument.h"
#include "soundset/ima_adpcm.h"

namespace pocketmidi::soundset {

namespace {

uint8_t ModeByte(const PatchDescription& patch, bool compressed) {
  uint8_t modes = patch.extraModes;
  if (compressed || patch.bitsPerPoint != 8) modes |= kMode16Bit;
  if (!compressed && patch.isUnsigned) modes |= kModeUnsigned;
  if (patch.reversed) modes |= kModeReverse;
  if (patch.loopMode != LoopMode::kOneShot) modes |= kModeLooping;
  if (patch.loopMode == LoopMode::kPingPong) modes |= kModePingPong;
  if (patch.sustain) modes |= kModeSustain;
  if (patch.envelope) modes |= kModeEnvelope;
  return modes;
}

// The points in stored order, as 16-bit words or 8-bit bytes.
std::vector<uint8_t> RawData(const std::vector<int16_t>& stored, bool eightBit, bool isUnsigned) {
  std::vector<uint8_t> data(stored.size() * (eightBit ? 1 : 2));
  for (size_t i = 0; i < stored.size(); ++i) {
    uint16_t word = static_cast<uint16_t>(stored[i]);
    if (isUnsigned) word ^= 0x8000;
    if (eightBit) {
      data[i] = static_cast<uint8_t>(word >> 8);
    } else {
      StoreLe16(&data[2 * i], word);
    }
  }
  return data;
}

}  // namespace

EncodedPatch EncodePatch(const PatchDescription& patch, bool compressed) {
  EncodedPatch out;
  out.name = patch.name;
  std::vector<int16_t> stored = patch.points;
  // ADPCM holds two points per byte; an odd sample gains a silent point at
  // its end (before reversing, so loop points keep their meaning).
  if (compressed && stored.size() % 2) stored.push_back(0);
  const uint32_t pointCount = static_cast<uint32_t>(stored.size());
  if (patch.reversed) std::reverse(stored.begin(), stored.end());

  const bool eightBit = !compressed && patch.bitsPerPoint == 8;
  const uint32_t bytesPerPoint = eightBit ? 1 : 2;
  out.data = compressed ? EncodeImaAdpcm(stored) : RawData(stored, eightBit, patch.isUnsigned);

  uint32_t loopStart = patch.loopStart;
  uint32_t loopEnd = patch.loopEnd;
  if (patch.reversed) {
    // The loader mirrors the loop after turning the data round:
    // new start = length - old end, new end = length - old start.
    loopStart = pointCount - patch.loopEnd;
    loopEnd = pointCount - patch.loopStart;
  }

  PatchHeader header{};
  header.fractions = static_cast<uint8_t>((patch.loopStartSixteenths & 15) |
                                          ((patch.loopEndSixteenths & 15) << 4));
  header.dataSize = static_cast<uint32_t>(out.data.size());
  header.loopStart = loopStart * bytesPerPoint;
  header.loopEnd = loopEnd * bytesPerPoint;
  header.sampleRate = patch.sampleRate;
  header.lowFreq = patch.lowFreqMilliHz;
  header.highFreq = patch.highFreqMilliHz;
  header.rootFreq = patch.rootFreqMilliHz;
  header.balance = patch.balance;
  std::copy(patch.envelopeRates.begin(), patch.envelopeRates.end(), header.envelopeRates);
  std::copy(patch.envelopeOffsets.begin(), patch.envelopeOffsets.end(), header.envelopeOffsets);
  header.tremoloSweep = patch.tremoloSweep;
  header.tremoloRate = patch.tremoloRate;
  header.tremoloDepth = patch.tremoloDepth;
  header.vibratoSweep = patch.vibratoSweep;
  header.vibratoRate = patch.vibratoRate;
  header.vibratoDepth = patch.vibratoDepth;
  header.modes = ModeByte(patch, compressed);
  header.reserved = patch.reserved;
  EncodePatchHeader(header, out.header.data());
  return out;
}

std::vector<uint8_t> BuildArchive(const std::vector<EncodedPatch>& patches, bool compressed,
                                  std::string* error) {
  auto fail = [&](const std::string& message) {
    if (error) *error = message;
    return std::vector<uint8_t>();
  };
  std::vector<const EncodedPatch*> sorted;
  for (const EncodedPatch& p : patches) {
    if (p.name.empty() || p.name.size() >= kIndexNameBytes ||
        p.name.find('\0') != std::string::npos) {
      return fail("patch name '" + p.name + "' must have 1 to 15 characters");
    }
    sorted.push_back(&p);
  }
  // std::string compares bytes as unsigned char, the order strcmp uses.
  std::sort(sorted.begin(), sorted.end(),
            [](const EncodedPatch* a, const EncodedPatch* b) { return a->name < b->name; });
  for (size_t i = 1; i < sorted.size(); ++i) {
    if (sorted[i]->name == sorted[i - 1]->name) {
      return fail("patch name '" + sorted[i]->name + "' is used twice");
    }
  }

  const uint32_t indexBytes = static_cast<uint32_t>(sorted.size()) * kIndexEntryBytes;
  std::vector<uint8_t> out(kArchiveHeaderBytes + indexBytes);
  EncodeArchiveHeader({compressed ? 1u : 0u, indexBytes}, &out[0]);
  for (size_t i = 0; i < sorted.size(); ++i) {
    const EncodedPatch& p = *sorted[i];
    PatchIndexEntry entry{};
    std::memcpy(entry.name, p.name.data(), p.name.size());
    entry.offset = static_cast<uint32_t>(out.size());
    entry.size = kPatchHeaderBytes + static_cast<uint32_t>(p.data.size());
    EncodeIndexEntry(entry, &out[kArchiveHeaderBytes + i * kIndexEntryBytes]);
    // The lead word is never read; it repeats the size for anyone dumping the file.
    uint8_t lead[kPatchLeadBytes];
    StoreLe32(lead, entry.size);
    out.insert(out.end(), lead, lead + kPatchLeadBytes);
    out.insert(out.end(), p.header.begin(), p.header.end());
    out.insert(out.end(), p.data.begin(), p.data.end());
  }
  return out;
}

std::vector<uint8_t> BuildArchive(const std::vector<PatchDescription>& patches, bool compressed,
                                  std::string* error) {
  std::vector<EncodedPatch> encoded;
  encoded.reserve(patches.size());
  for (const PatchDescription& p : patches) encoded.push_back(EncodePatch(p, compressed));
  return BuildArchive(encoded, compressed, error);
}

bool WriteBytesToFile(const std::string& path, const std::vector<uint8_t>& bytes,
                      std::string* error) {
  FILE* file = std::fopen(path.c_str(), "wb");
  bool ok = file != nullptr;
  if (ok && !bytes.empty()) ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (file && std::fclose(file) != 0) ok = false;
  if (!ok && error) *error = "cannot write " + path;
  return ok;
}

}  // namespace pocketmidi::soundset
