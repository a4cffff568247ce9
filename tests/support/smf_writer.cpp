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
  bytes_ += static_cast<char>(status);
  bytes_ += static_cast<char>(data1);
  if (data2 >= 0) bytes_ += static_cast<char>(data2);
  return *this;
}

TrackWriter& TrackWriter::Sized(uint32_t delta, const std::string& lead, const std::string& data) {
  AppendVarLen(bytes_, delta);
  bytes_ += lead;
  AppendVarLen(bytes_, static_cast<uint32_t>(data.size()));
  bytes_ += data;
  return *this;
}

TrackWriter& TrackWriter::Meta(uint32_t delta, int type, const std::string& data) {
  return Sized(delta, {'\xFF', static_cast<char>(type)}, data);
}

TrackWriter& TrackWriter::Tempo(uint32_t delta, uint32_t us) {
  std::string data;
  AppendBigEndian(data, us, 3);
  return Meta(delta, 0x51, data);
}

TrackWriter& TrackWriter::SysEx(uint32_t delta, const std::string& data, int status) {
  return Sized(delta, std::string(1, static_cast<char>(status)), data);
}

TrackWriter& TrackWriter::Raw(const std::string& bytes) {
  bytes_ += bytes;
  return *this;
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
  for (const TrackWriter& track : tracks) {
    out += "MTrk";
    AppendBigEndian(out, static_cast<uint32_t>(track.bytes().size()), 4);
    out += track.bytes();
  }
  return out;
}

}  // namespace pocketmidi::test
