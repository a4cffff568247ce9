#include <windows.h>

#include <shellapi.h>

#include "cli/command_line.h"
#include "platform/utf16_path.h"

namespace pocketmidi::cli {

// CommandLineToArgvW splits the line as the C runtime does for argv (its
// rules differ only for "" inside quotes); should it fail, argv is used.
std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr || count != argc) {
    if (wide != nullptr) LocalFree(wide);
    return std::vector<std::string>(argv, argv + argc);
  }
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) {
    arguments.push_back(Utf16ToUtf8(reinterpret_cast<const char16_t*>(wide[i])));
  }
  LocalFree(wide);
  return arguments;
}

}  // namespace pocketmidi::cli
