// Load-time low-pass filter for samples played at an output rate below their
// own rate.
#pragma once

#include <cstdint>

namespace pocketmidi {

class SynthEngine;
struct PatchSample;

// Filters sample.data in place; sample.dataLength still counts bytes here.
void AntiAliasSample(const SynthEngine& engine, PatchSample& sample, uint32_t outputRate);

}  // namespace pocketmidi
