// Test helpers for anything that opens the audio device: choose the device
// through POCKETMIDI_AUDIO for one scope, temporary file names, file reads.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace pocketmidi {

// Sets POCKETMIDI_AUDIO (null: unsets it) and restores the old value.
class ScopedAudioEnv {
 public:
  explicit ScopedAudioEnv(const char* value) {
    const char* old = std::getenv("POCKETMIDI_AUDIO");
    hadOld_ = old != nullptr;
    if (hadOld_) old_ = old;
    if (value != nullptr) {
      setenv("POCKETMIDI_AUDIO", value, 1);
    } else {
      unsetenv("POCKETMIDI_AUDIO");
    }
  }
  explicit ScopedAudioEnv(const std::string& value) : ScopedAudioEnv(value.c_str()) {}
  ~ScopedAudioEnv() {
    if (hadOld_) {
      setenv("POCKETMIDI_AUDIO", old_.c_str(), 1);
    } else {
      unsetenv("POCKETMIDI_AUDIO");
    }
  }
  ScopedAudioEnv(const ScopedAudioEnv&) = delete;
  ScopedAudioEnv& operator=(const ScopedAudioEnv&) = delete;

 private:
  bool hadOld_ = false;
  std::string old_;
};

// A file name in the test temporary directory, unique to this process.
inline std::string AudioTempPath(const std::string& name) {
  return ::testing::TempDir() + "pocketmidi_" + std::to_string(getpid()) + "_" + name;
}

inline std::vector<uint8_t> ReadAudioFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline uint32_t LittleEndian32(const std::vector<uint8_t>& bytes, size_t at) {
  return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
         (static_cast<uint32_t>(bytes[at + 3]) << 24);
}

inline uint32_t LittleEndian16(const std::vector<uint8_t>& bytes, size_t at) {
  return bytes[at] | (bytes[at + 1] << 8);
}

}  // namespace pocketmidi
