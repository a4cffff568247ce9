#include "support/sf2_builder.h"

#include <cstring>

namespace pocketmidi::testsupport {

namespace {

using Bytes = std::vector<uint8_t>;

void U16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void U32(Bytes& b, uint32_t v) {
  U16(b, v & 0xFFFF);
  U16(b, v >> 16);
}
void Name(Bytes& b, const std::string& name) {
  char field[20] = {};
  std::strncpy(field, name.c_str(), sizeof field - 1);
  b.insert(b.end(), field, field + sizeof field);
}
Bytes Chunk(const char* id, const Bytes& body) {
  Bytes b(id, id + 4);
  U32(b, static_cast<uint32_t>(body.size()));
  b.insert(b.end(), body.begin(), body.end());
  if (body.size() % 2) b.push_back(0);
  return b;
}
Bytes List(const char* type, const std::vector<Bytes>& chunks) {
  Bytes body(type, type + 4);
  for (const Bytes& c : chunks) body.insert(body.end(), c.begin(), c.end());
  return Chunk("LIST", body);
}

}  // namespace

int Sf2Builder::AddSample(const std::string& name, const std::vector<int16_t>& points,
                          uint32_t loopStart, uint32_t loopEnd, uint32_t sampleRate,
                          uint8_t originalPitch, int8_t pitchCorrection) {
  const uint32_t start = static_cast<uint32_t>(pool_.size());
  pool_.insert(pool_.end(), points.begin(), points.end());
  pool_.insert(pool_.end(), 46, 0);  // the silence every sample is followed by
  Name(shdr_, name);
  const uint32_t end = start + static_cast<uint32_t>(points.size());
  for (uint32_t v : {start, end, start + loopStart, start + loopEnd, sampleRate}) U32(shdr_, v);
  shdr_.push_back(originalPitch);
  shdr_.push_back(static_cast<uint8_t>(pitchCorrection));
  U16(shdr_, 0);  // link
  U16(shdr_, 1);  // mono
  return sampleCount_++;
}

void Sf2Builder::AddHeader(Level& level, const std::string& name, const uint16_t* programBank,
                           const std::vector<Sf2BuildZone>& zones, uint16_t terminal) {
  Name(level.hdr, name);
  if (programBank != nullptr) {
    U16(level.hdr, programBank[0]);
    U16(level.hdr, programBank[1]);
  }
  U16(level.hdr, static_cast<uint32_t>(level.bag.size() / 4));
  if (programBank != nullptr) level.hdr.insert(level.hdr.end(), 12, 0);  // library, genre, ...
  for (const Sf2BuildZone& z : zones) {
    U16(level.bag, static_cast<uint32_t>(level.gen.size() / 4));
    U16(level.bag, 0);
    for (const auto& g : z.generators) {
      U16(level.gen, g.first);
      U16(level.gen, g.second);
    }
    if (z.target >= 0) {
      U16(level.gen, terminal);
      U16(level.gen, static_cast<uint32_t>(z.target));
    }
  }
}

int Sf2Builder::AddInstrument(const std::string& name, const std::vector<Sf2BuildZone>& zones) {
  AddHeader(instruments_, name, nullptr, zones, 53);
  return instrumentCount_++;
}

int Sf2Builder::AddPreset(const std::string& name, uint16_t program, uint16_t bank,
                          const std::vector<Sf2BuildZone>& zones) {
  const uint16_t programBank[2] = {program, bank};
  AddHeader(presets_, name, programBank, zones, 41);
  return presetCount_++;
}

std::vector<uint8_t> Sf2Builder::Build() const {
  // Each level ends with a terminal header, bag and generator; modulators are empty.
  Level presets = presets_, instruments = instruments_;
  const uint16_t none[2] = {0, 0};
  AddHeader(presets, "EOP", none, {}, 41);
  AddHeader(instruments, "EOI", nullptr, {}, 53);
  for (Level* level : {&presets, &instruments}) {
    U16(level->bag, static_cast<uint32_t>(level->gen.size() / 4));
    U16(level->bag, 0);
    level->gen.insert(level->gen.end(), 4, 0);
  }
  Bytes shdr = shdr_;
  Name(shdr, "EOS");
  shdr.insert(shdr.end(), 26, 0);
  const Bytes mod(10, 0);

  Bytes smpl;
  for (int16_t p : pool_) U16(smpl, static_cast<uint16_t>(p));
  Bytes ifil;
  U16(ifil, 2);
  U16(ifil, 1);
  const Bytes inam = {'t', 'e', 's', 't', 0};
  const Bytes info = List("INFO", {Chunk("ifil", ifil), Chunk("INAM", inam)});
  const Bytes sdta = List("sdta", {Chunk("smpl", smpl)});
  const Bytes pdta =
      List("pdta", {Chunk("phdr", presets.hdr), Chunk("pbag", presets.bag), Chunk("pmod", mod),
                    Chunk("pgen", presets.gen), Chunk("inst", instruments.hdr),
                    Chunk("ibag", instruments.bag), Chunk("imod", mod),
                    Chunk("igen", instruments.gen), Chunk("shdr", shdr)});
  Bytes body = {'s', 'f', 'b', 'k'};
  for (const Bytes* b : {&info, &sdta, &pdta}) body.insert(body.end(), b->begin(), b->end());
  return Chunk("RIFF", body);
}

}  // namespace pocketmidi::testsupport
