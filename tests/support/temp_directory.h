// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes out of scope.
#pragma once

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include <unistd.h>

namespace pocketmidi::test {

class TempDirectory {
 public:
  TempDirectory() {
    static std::atomic<unsigned> counter{0};
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
      path_ = base / ("pocketmidi-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
      std::error_code error;
      if (std::filesystem::create_directory(path_, error)) break;
    }
  }
  ~TempDirectory() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string File(std::string_view name) const { return (path_ / name).string(); }

  // Writes bytes to name (replacing it) and returns the full path.
  std::string Write(std::string_view name, std::string_view bytes) const {
    const std::string full = File(name);
    if (std::FILE* f = std::fopen(full.c_str(), "wb")) {
      std::fwrite(bytes.data(), 1, bytes.size(), f);
      std::fclose(f);
    }
    return full;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace pocketmidi::test
