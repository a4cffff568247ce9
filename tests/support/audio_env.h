// Test helpers for anything that opens the audio device: choose the device
// through POCKETMIDI_AUDIO for one scope, temporary file names, file reads.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace pocketmidi {

// Sets POCKETMIDI_AUDIO (null: unsets it) and restores the old value.
class ScopedAudioEnv {
 public:
  explicit ScopedAudioEnv(const char* value) {
    if (const char* old = std::getenv("POCKETMIDI_AUDIO")) old_ = old;
    Set(value);
  }
  explicit ScopedAudioEnv(const std::string& value) : ScopedAudioEnv(value.c_str()) {}
  ~ScopedAudioEnv() { Set(old_ ? old_->c_str() : nullptr); }
  ScopedAudioEnv(const ScopedAudioEnv&) = delete;
  ScopedAudioEnv& operator=(const ScopedAudioEnv&) = delete;

 private:
  static void Set(const char* value) {
#ifdef _WIN32
    // An empty value removes the variable there; the library reads both alike.
    _putenv_s("POCKETMIDI_AUDIO", value != nullptr ? value : "");
#else
    value != nullptr ? setenv("POCKETMIDI_AUDIO", value, 1) : unsetenv("POCKETMIDI_AUDIO");
#endif
  }
  std::optional<std::string> old_;
};

// A file name in the test temporary directory, unique to this process.
inline std::string AudioTempPath(const std::string& name) {
  return ::testing::TempDir() + "pocketmidi_" + std::to_string(getpid()) + "_" + name;
}

inline std::vector<uint8_t> ReadAudioFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace pocketmidi
