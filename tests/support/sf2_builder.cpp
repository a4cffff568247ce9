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
  samples_.push_back({name, start, start + static_cast<uint32_t>(points.size()), start + loopStart,
                      start + loopEnd, sampleRate, originalPitch, pitchCorrection});
  return static_cast<int>(samples_.size()) - 1;
}

int Sf2Builder::AddInstrument(const std::string& name, const std::vector<Sf2BuildZone>& zones) {
  instruments_.push_back({name, 0, 0, zones});
  return static_cast<int>(instruments_.size()) - 1;
}

int Sf2Builder::AddPreset(const std::string& name, uint16_t program, uint16_t bank,
                          const std::vector<Sf2BuildZone>& zones) {
  presets_.push_back({name, program, bank, zones});
  return static_cast<int>(presets_.size()) - 1;
}

std::vector<uint8_t> Sf2Builder::Build() const {
  // Headers, bags, (empty) modulators and generators of one level.
  auto level = [](const std::vector<Header>& headers, bool preset, uint16_t terminal, Bytes& hdr,
                  Bytes& bag, Bytes& mod, Bytes& gen) {
    uint32_t bags = 0, gens = 0;
    for (const Header& h : headers) {
      Name(hdr, h.name);
      if (preset) {
        U16(hdr, h.program);
        U16(hdr, h.bank);
      }
      U16(hdr, bags);
      if (preset) hdr.insert(hdr.end(), 12, 0);  // library, genre, morphology
      for (const Sf2BuildZone& z : h.zones) {
        U16(bag, gens);
        U16(bag, 0);
        ++bags;
        for (const auto& g : z.generators) {
          U16(gen, g.first);
          U16(gen, g.second);
          ++gens;
        }
        if (z.target >= 0) {
          U16(gen, terminal);
          U16(gen, static_cast<uint32_t>(z.target));
          ++gens;
        }
      }
    }
    Name(hdr, preset ? "EOP" : "EOI");
    if (preset) hdr.insert(hdr.end(), 4, 0);
    U16(hdr, bags);
    if (preset) hdr.insert(hdr.end(), 12, 0);
    U16(bag, gens);
    U16(bag, 0);
    mod.insert(mod.end(), 10, 0);
    gen.insert(gen.end(), 4, 0);
  };
  Bytes phdr, pbag, pmod, pgen, inst, ibag, imod, igen, shdr;
  level(presets_, true, 41, phdr, pbag, pmod, pgen);
  level(instruments_, false, 53, inst, ibag, imod, igen);
  for (const Sample& s : samples_) {
    Name(shdr, s.name);
    U32(shdr, s.start);
    U32(shdr, s.end);
    U32(shdr, s.loopStart);
    U32(shdr, s.loopEnd);
    U32(shdr, s.rate);
    shdr.push_back(s.pitch);
    shdr.push_back(static_cast<uint8_t>(s.correction));
    U16(shdr, 0);  // link
    U16(shdr, 1);  // mono
  }
  Name(shdr, "EOS");
  shdr.insert(shdr.end(), 26, 0);

  Bytes smpl;
  for (int16_t p : pool_) U16(smpl, static_cast<uint16_t>(p));
  Bytes ifil;
  U16(ifil, 2);
  U16(ifil, 1);
  const Bytes inam = {'t', 'e', 's', 't', 0};
  const Bytes info = List("INFO", {Chunk("ifil", ifil), Chunk("INAM", inam)});
  const Bytes sdta = List("sdta", {Chunk("smpl", smpl)});
  const Bytes pdta = List("pdta", {Chunk("phdr", phdr), Chunk("pbag", pbag), Chunk("pmod", pmod),
                                   Chunk("pgen", pgen), Chunk("inst", inst), Chunk("ibag", ibag),
                                   Chunk("imod", imod), Chunk("igen", igen), Chunk("shdr", shdr)});
  Bytes body = {'s', 'f', 'b', 'k'};
  for (const Bytes* b : {&info, &sdta, &pdta}) body.insert(body.end(), b->begin(), b->end());
  return Chunk("RIFF", body);
}

}  // namespace pocketmidi::testsupport
