#include "support/smf_writer.h"

namespace pocketmidi::test {

// Variable-length quantity: 7 bits per byte, high group first.
static void AppendVarLen(std::string& out, uint32_t value) {
  char groups[5];
  int count = 0;
  do {
    groups[count++] = static_cast<char>(value & 0x7F);
    value >>= 7;
  } while (value != 0);
  while (count > 1) out += static_cast<char>(groups[--count] | 0x80);
  out += groups[0];
}

static void AppendBigEndian(std::string& out, uint32_t value, int bytes) {
  for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) {
    out += static_cast<char>((value >> shift) & 0xFF);
  }
}

TrackWriter& TrackWriter::Channel(uint32_t delta, int status, int data1, int data2) {
  AppendVarLen(bytes_, delta);
  if (!runningStatus_ || status != lastStatus_) bytes_ += static_cast<char>(status);
  lastStatus_ = status;
  bytes_ += static_cast<char>(data1);
  if (data2 >= 0) bytes_ += static_cast<char>(data2);
  return *this;
}

TrackWriter& TrackWriter::Meta(uint32_t delta, int type, const std::string& data) {
  AppendVarLen(bytes_, delta);
  bytes_ += '\xFF';
  bytes_ += static_cast<char>(type);
  AppendVarLen(bytes_, static_cast<uint32_t>(data.size()));
  bytes_ += data;
  lastStatus_ = -1;
  return *this;
}

TrackWriter& TrackWriter::Tempo(uint32_t delta, uint32_t us) {
  std::string data;
  AppendBigEndian(data, us, 3);
  return Meta(delta, 0x51, data);
}

TrackWriter& TrackWriter::SysEx(uint32_t delta, const std::string& data, int status) {
  AppendVarLen(bytes_, delta);
  bytes_ += static_cast<char>(status);
  AppendVarLen(bytes_, static_cast<uint32_t>(data.size()));
  bytes_ += data;
  lastStatus_ = -1;
  return *this;
}

TrackWriter& TrackWriter::Raw(const std::string& bytes) {
  bytes_ += bytes;
  return *this;
}

static std::string TrackChunk(const std::string& events) {
  std::string out = "MTrk";
  AppendBigEndian(out, static_cast<uint32_t>(events.size()), 4);
  return out + events;
}

std::string BuildSmf(const std::vector<TrackWriter>& tracks, const SmfOptions& options) {
  std::string out = "MThd";
  AppendBigEndian(out, options.headerLength, 4);
  AppendBigEndian(out, static_cast<uint32_t>(options.format), 2);
  const int declared =
      options.declaredTracks >= 0 ? options.declaredTracks : static_cast<int>(tracks.size());
  AppendBigEndian(out, static_cast<uint32_t>(declared), 2);
  AppendBigEndian(out, static_cast<uint32_t>(options.division), 2);
  if (options.headerLength > 6) out.append(options.headerLength - 6, '\0');
  for (const TrackWriter& track : tracks) out += TrackChunk(track.bytes());
  return out;
}

std::string WrapRmid(const std::string& smf) {
  std::string out = "RIFF";
  const auto le32 = [](std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  le32(out, static_cast<uint32_t>(12 + smf.size()));
  out += "RMIDdata";
  le32(out, static_cast<uint32_t>(smf.size()));
  out += smf;
  if (smf.size() % 2) out += '\0';
  return out;
}

}  // namespace pocketmidi::test
