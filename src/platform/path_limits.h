// The longest path the handheld takes: 260 UTF-16 units, terminator
// included (its MAX_PATH). Every path and directory field of the library has
// this size, so a path that fits one fits all of them.
#pragma once

namespace pocketmidi {

constexpr int kMaxPathUnits = 260;

}  // namespace pocketmidi
