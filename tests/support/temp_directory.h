// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes out of scope.
#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace pocketmidi::test {

class TempDirectory {
 public:
  TempDirectory() {
    static std::atomic<unsigned> counter{0};
    const auto base = std::filesystem::temp_directory_path();
    std::error_code error;
    do {
      path_ = base / ("pocketmidi-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
    } while (!std::filesystem::create_directory(path_, error));
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
    std::ofstream(full, std::ios::binary | std::ios::trunc).write(bytes.data(), bytes.size());
    return full;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace pocketmidi::test
