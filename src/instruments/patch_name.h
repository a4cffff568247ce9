// Patch names: at most 15 characters in a 16-byte field with its terminator.
#pragma once

#include <cstring>

#include "instruments/instrument.h"

namespace pocketmidi {

constexpr size_t kPatchNameBytes = sizeof(PatchIndexEntry::name);

// True for a non-empty name terminated within its 16 bytes. Longer names
// cannot be in the archive's index; they are never looked up, hashed or
// compared beyond their field.
inline bool PatchNameFits(const char* name) {
  if (name == nullptr) return false;
  const size_t length = strnlen(name, kPatchNameBytes);
  return length > 0 && length < kPatchNameBytes;
}

}  // namespace pocketmidi
