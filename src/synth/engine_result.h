// Result codes of the engine's and the instrument bank's operations, shared
// with the decoder and the tool. 0 is success everywhere.
#pragma once

#include <cstdint>

namespace pocketmidi {

constexpr int32_t kEngineOk = 0;
// Memory ran out, or a patch could not be loaded.
constexpr int32_t kEngineLoadFailed = -2;
// A needed file or input is missing or unusable.
constexpr int32_t kEngineMissingInput = -3;

// A single-slot load found no patch configured: the slot becomes silent.
constexpr int32_t kSlotNotConfigured = 1;

// Patch list: one code per key that can be wrong, for the first section
// (program) that has it.
constexpr int32_t kBankNameError = -7;  // missing, empty or too long for a slot
constexpr int32_t kBankAmpError = -8;
constexpr int32_t kDrumAmpError = -9;  // also a drum name too long for a slot
constexpr int32_t kDrumNoteError = -10;
constexpr int32_t kDrumPanError = -11;
constexpr int32_t kStripEnvelopeError = -12;
constexpr int32_t kStripLoopError = -13;
constexpr int32_t kStripTailError = -14;

// Whether an engine or instrument result makes the decoder's open fail.
inline bool IsEngineFailure(int32_t result) {
  return result == kEngineLoadFailed || result == kEngineMissingInput;
}

}  // namespace pocketmidi
