// The single-byte to UTF-16 conversion of the handheld, the same on every
// host: the file opens (file_system_posix.cpp, file_system_windows.cpp) and
// this conversion must agree on which character a byte is.
#include <cstring>

#include "platform/file_system.h"

namespace pocketmidi {

int32_t MultiByteToWideChar(uint32_t codePage, uint32_t /*flags*/, const char* source,
                            int32_t sourceBytes, char16_t* dest, int32_t destUnits) {
  if (source == nullptr || sourceBytes == 0 || sourceBytes < -1 || destUnits < 0) return 0;
  if (codePage != kCodePageAnsi && codePage != kCodePageOem) return 0;
  std::size_t count = sourceBytes == -1 ? std::strlen(source) + 1 : static_cast<std::size_t>(sourceBytes);
  if (count > 0x7FFFFFFF) return 0;
  if (destUnits == 0) return static_cast<int32_t>(count);
  if (dest == nullptr || count > static_cast<std::size_t>(destUnits)) return 0;
  for (std::size_t i = 0; i < count; ++i) {
    dest[i] = static_cast<char16_t>(static_cast<uint8_t>(source[i]));
  }
  return static_cast<int32_t>(count);
}

}  // namespace pocketmidi
