#include "soundset/sf2_reader.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "io/byte_order.h"

namespace pocketmidi::soundset {

namespace {

struct Chunk {
  std::string id;
  const uint8_t* data = nullptr;
  uint32_t size = 0;
};

std::string FourCc(const uint8_t* at) {
  std::string id(reinterpret_cast<const char*>(at), 4);
  for (char& c : id) {
    if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126) c = '?';
  }
  return id;
}

// Walks the chunks that fill [data, data + size). Next gives 1 for a chunk,
// 0 at the end, -1 (with the error set) for a chunk that does not fit.
class ChunkWalker {
 public:
  ChunkWalker(const uint8_t* data, size_t size, std::string where)
      : data_(data), size_(size), where_(std::move(where)) {}

  int Next(Chunk* chunk, std::string* error) {
    const size_t left = size_ - pos_;
    if (left == 0) return 0;
    if (left < 8) {
      *error = where_ + ": truncated chunk header (" + std::to_string(left) + " bytes left)";
      return -1;
    }
    chunk->id = FourCc(data_ + pos_);
    chunk->size = LoadLe32(data_ + pos_ + 4);
    chunk->data = data_ + pos_ + 8;
    if (chunk->size > left - 8) {
      *error = where_ + ": chunk '" + chunk->id + "' claims " + std::to_string(chunk->size) +
               " bytes but only " + std::to_string(left - 8) + " remain (truncated file?)";
      return -1;
    }
    // Odd chunks carry a pad byte, but some writers leave it out (at the
    // end or between chunks): the pad is skipped unless a chunk that fits
    // starts right after the data and none one byte later.
    pos_ += 8 + chunk->size;
    if ((chunk->size & 1) && pos_ < size_ && !(!FitsAt(pos_ + 1) && FitsAt(pos_))) ++pos_;
    return 1;
  }

 private:
  // A chunk header at `at`: an id of four printable ASCII characters and a
  // size that fits in what is left.
  bool FitsAt(size_t at) const {
    if (size_ - at < 8) return false;
    for (size_t i = 0; i < 4; ++i) {
      if (data_[at + i] < 32 || data_[at + i] > 126) return false;
    }
    return LoadLe32(data_ + at + 4) <= size_ - at - 8;
  }

  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  std::string where_;
};

std::string FixedString(const uint8_t* at, size_t length) {
  size_t n = 0;
  while (n < length && at[n]) ++n;
  return std::string(reinterpret_cast<const char*>(at), n);
}

// The nine tables of the pdta list.
struct HydraTable {
  const char* id;
  uint32_t recordBytes;
  const uint8_t* data = nullptr;
  uint32_t count = 0;
  bool found = false;
};

enum { kPhdr, kPbag, kPmod, kPgen, kInst, kIbag, kImod, kIgen, kShdr, kTableCount };

bool ReadHydra(const Chunk& list, HydraTable* tables, std::string* error) {
  ChunkWalker walker(list.data + 4, list.size - 4, "pdta");
  Chunk chunk;
  int more;
  while ((more = walker.Next(&chunk, error)) == 1) {
    for (int t = 0; t < kTableCount; ++t) {
      if (chunk.id != tables[t].id) continue;
      if (chunk.size % tables[t].recordBytes != 0) {
        *error = "pdta: '" + chunk.id + "' size " + std::to_string(chunk.size) +
                 " is not a multiple of its " + std::to_string(tables[t].recordBytes) +
                 "-byte records";
        return false;
      }
      tables[t].data = chunk.data;
      tables[t].count = chunk.size / tables[t].recordBytes;
      tables[t].found = true;
    }
  }
  if (more < 0) return false;
  for (int t = 0; t < kTableCount; ++t) {
    // Every table ends with a terminal record, except that an empty
    // modulator list is harmless.
    const bool optional = t == kPmod || t == kImod;
    if (!tables[t].found || (!optional && tables[t].count == 0)) {
      *error = std::string("pdta: missing or empty '") + tables[t].id + "' chunk";
      return false;
    }
  }
  return true;
}

// Builds the zone lists of presets (terminal generator kGenInstrument) or
// instruments (kGenSampleId). headerBagOffset is where the bag index sits in
// a header record; the last header is the terminal one.
bool ReadZones(const HydraTable& headers, uint32_t headerBagOffset, const HydraTable& bags,
               const HydraTable& mods, const HydraTable& gens, uint16_t terminal,
               uint32_t targetCount, std::vector<Sf2ZoneList>* lists, std::string* error) {
  const std::string what = terminal == kGenInstrument ? "preset" : "instrument";
  const auto bagOf = [&](uint32_t h) {
    return LoadLe16(headers.data + h * headers.recordBytes + headerBagOffset);
  };
  const auto genOf = [&](uint32_t b) { return LoadLe16(bags.data + b * 4); };
  const auto modOf = [&](uint32_t b) { return LoadLe16(bags.data + b * 4 + 2); };
  for (uint32_t h = 0; h + 1 < headers.count; ++h) {
    if (bagOf(h) > bagOf(h + 1)) {
      *error = what + " " + std::to_string(h) + ": zone indices decrease";
      return false;
    }
  }
  if (bagOf(headers.count - 1) >= bags.count) {
    *error = what + " zones run past the end of the bag table (" +
             std::to_string(bagOf(headers.count - 1)) + " of " + std::to_string(bags.count) + ")";
    return false;
  }
  for (uint32_t b = 0; b < bags.count; ++b) {
    if ((b + 1 < bags.count && (genOf(b) > genOf(b + 1) || modOf(b) > modOf(b + 1))) ||
        genOf(b) > gens.count || modOf(b) > mods.count) {
      *error = what + " bag " + std::to_string(b) + ": generator or modulator index out of order";
      return false;
    }
  }
  lists->assign(headers.count - 1, Sf2ZoneList());
  for (uint32_t h = 0; h + 1 < headers.count; ++h) {
    Sf2ZoneList& list = (*lists)[h];
    for (uint32_t b = bagOf(h); b < bagOf(h + 1); ++b) {
      Sf2Zone zone;
      bool terminated = false;
      for (uint32_t g = genOf(b); g < genOf(b + 1) && !terminated; ++g) {
        const uint16_t oper = LoadLe16(gens.data + g * 4);
        if (oper >= kGenCount) continue;
        zone.Set(oper, LoadLe16(gens.data + g * 4 + 2));
        terminated = oper == terminal;  // generators after the terminal one are ignored
      }
      if (terminated) {
        if (zone.amount[terminal] >= targetCount) {
          *error = what + " " + std::to_string(h) + " zone " + std::to_string(b - bagOf(h)) +
                   " names entry " + std::to_string(zone.amount[terminal]) + " of " +
                   std::to_string(targetCount);
          return false;
        }
        list.zones.push_back(zone);
      } else if (b == bagOf(h)) {
        list.hasGlobal = true;  // only a first zone may be global; others are dropped
        list.global = zone;
      }
    }
  }
  return true;
}

bool ReadSamples(const HydraTable& shdr, SoundFont* out, std::string* error) {
  for (uint32_t i = 0; i + 1 < shdr.count; ++i) {
    const uint8_t* r = shdr.data + i * shdr.recordBytes;
    Sf2Sample s;
    s.name = FixedString(r, 20);
    s.start = LoadLe32(r + 20);
    s.end = LoadLe32(r + 24);
    s.loopStart = LoadLe32(r + 28);
    s.loopEnd = LoadLe32(r + 32);
    s.sampleRate = LoadLe32(r + 36);
    s.originalPitch = r[40];
    s.pitchCorrection = static_cast<int8_t>(r[41]);
    s.sampleType = LoadLe16(r + 44);
    const bool rom = s.sampleType & 0x8000;
    if (!rom && (s.start > s.end || s.end > out->points.size())) {
      *error = "sample '" + s.name + "' spans points " + std::to_string(s.start) + " to " +
               std::to_string(s.end) + ", outside the " + std::to_string(out->points.size()) +
               " points of sample data";
      return false;
    }
    out->samples.push_back(s);
  }
  return true;
}

// The three lists of the RIFF 'sfbk' form.
struct TopLists {
  Chunk info, sdta, pdta;
};

bool FindLists(const uint8_t* data, size_t size, TopLists* lists, std::string* error) {
  if (size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "sfbk", 4) != 0) {
    *error = "not a SoundFont 2 file (no RIFF 'sfbk' header)";
    return false;
  }
  const uint32_t riffSize = LoadLe32(data + 4);
  if (riffSize < 4 || riffSize > size - 8) {
    *error = "RIFF chunk claims " + std::to_string(riffSize) + " bytes but the file holds " +
             std::to_string(size - 8) + " (truncated file?)";
    return false;
  }
  ChunkWalker top(data + 12, riffSize - 4, "sfbk");
  Chunk chunk;
  int more;
  while ((more = top.Next(&chunk, error)) == 1) {
    if (chunk.id != "LIST") continue;
    if (chunk.size < 4) {
      *error = "LIST chunk of " + std::to_string(chunk.size) + " bytes has no list type";
      return false;
    }
    const std::string type = FourCc(chunk.data);
    if (type == "INFO") lists->info = chunk;
    if (type == "sdta") lists->sdta = chunk;
    if (type == "pdta") lists->pdta = chunk;
  }
  if (more < 0) return false;
  if (!lists->pdta.data) {
    *error = "no 'pdta' list (preset data)";
    return false;
  }
  return true;
}

// The bank's name, its version (SF3 is refused) and its sample points.
bool ReadInfoAndPoints(const TopLists& lists, SoundFont* out, std::string* error) {
  Chunk chunk;
  int more;
  if (lists.info.data) {
    ChunkWalker walker(lists.info.data + 4, lists.info.size - 4, "INFO");
    while ((more = walker.Next(&chunk, error)) == 1) {
      if (chunk.id == "INAM") out->name = FixedString(chunk.data, chunk.size);
      // Version 3 banks hold Ogg Vorbis data where the points should be.
      if (chunk.id == "ifil" && chunk.size >= 2 && LoadLe16(chunk.data) >= 3) {
        *error = "SoundFont version " + std::to_string(LoadLe16(chunk.data)) +
                 " (SF3, compressed samples) is not supported; use an SF2 bank (e.g. "
                 "/usr/share/sounds/sf2/FluidR3_GM.sf2 from fluid-soundfont-gm)";
        return false;
      }
    }
    if (more < 0) return false;
  }
  if (lists.sdta.data) {
    ChunkWalker walker(lists.sdta.data + 4, lists.sdta.size - 4, "sdta");
    while ((more = walker.Next(&chunk, error)) == 1) {
      if (chunk.id != "smpl") continue;  // "sm24" (extra 8 bits) is not used
      out->points.resize(chunk.size / 2);
      for (size_t i = 0; i < out->points.size(); ++i) {
        out->points[i] = static_cast<int16_t>(LoadLe16(chunk.data + 2 * i));
      }
    }
    if (more < 0) return false;
  }
  return true;
}

}  // namespace

bool ReadSoundFont(const uint8_t* data, size_t size, SoundFont* out, std::string* error) {
  *out = SoundFont();
  TopLists top;
  if (!FindLists(data, size, &top, error) || !ReadInfoAndPoints(top, out, error)) return false;
  HydraTable tables[kTableCount] = {{"phdr", 38}, {"pbag", 4},  {"pmod", 10},
                                    {"pgen", 4},  {"inst", 22}, {"ibag", 4},
                                    {"imod", 10}, {"igen", 4},  {"shdr", 46}};
  if (!ReadHydra(top.pdta, tables, error) || !ReadSamples(tables[kShdr], out, error)) return false;

  std::vector<Sf2ZoneList> lists;
  if (!ReadZones(tables[kInst], 20, tables[kIbag], tables[kImod], tables[kIgen], kGenSampleId,
                 static_cast<uint32_t>(out->samples.size()), &lists, error)) {
    return false;
  }
  for (uint32_t i = 0; i < lists.size(); ++i) {
    out->instruments.push_back({FixedString(tables[kInst].data + i * 22, 20), lists[i]});
  }
  if (!ReadZones(tables[kPhdr], 24, tables[kPbag], tables[kPmod], tables[kPgen], kGenInstrument,
                 static_cast<uint32_t>(out->instruments.size()), &lists, error)) {
    return false;
  }
  for (uint32_t i = 0; i < lists.size(); ++i) {
    const uint8_t* r = tables[kPhdr].data + i * 38;
    out->presets.push_back({FixedString(r, 20), LoadLe16(r + 20), LoadLe16(r + 22), lists[i]});
    // Finding what plays a key walks every (preset zone, instrument zone)
    // pair; a file small enough to read can multiply them into billions.
    uint64_t pairs = 0;
    for (const Sf2Zone& zone : lists[i].zones) {
      pairs += out->instruments[zone.amount[kGenInstrument]].zones.zones.size();
    }
    if (pairs > kMaxZonePairsPerPreset) {
      const Sf2Preset& preset = out->presets.back();
      *error = "preset '" + preset.name + "' (bank " + std::to_string(preset.bank) + ", program " +
               std::to_string(preset.program) + ") layers " + std::to_string(pairs) +
               " instrument zones; at most " + std::to_string(kMaxZonePairsPerPreset) +
               " are supported";
      return false;
    }
  }
  return true;
}

bool ReadSoundFontFile(const std::string& path, SoundFont* out, std::string* error) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    *error = "cannot open " + path;
    return false;
  }
  std::vector<uint8_t> bytes;
  // Only a regular file has a size to read: ftell of a directory is huge.
  struct stat info;
  bool ok = fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode);
  ok = ok && std::fseek(file, 0, SEEK_END) == 0;
  const long size = ok ? std::ftell(file) : -1;
  ok = size >= 0 && std::fseek(file, 0, SEEK_SET) == 0;
  if (ok) {
    bytes.resize(static_cast<size_t>(size));
    ok = std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
  }
  std::fclose(file);
  if (!ok) {
    *error = "cannot read " + path;
    return false;
  }
  return ReadSoundFont(bytes.data(), bytes.size(), out, error);
}

}  // namespace pocketmidi::soundset
