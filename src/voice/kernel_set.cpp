// The scalar reference set and the choice of a set for an engine.
#include "voice/kernel_set.h"

#include <cstring>
#include <initializer_list>

#include "voice/scalar_kernels.h"

namespace pocketmidi {

namespace {

void Convert16(uint8_t* data, uint32_t values) { ConvertTo16Scalar(data, 0, values); }
void Convert8(uint8_t* data, uint32_t values) { ConvertTo8Scalar(data, 0, values); }

constexpr KernelSet kScalar = {
    "scalar",
    InterpolateRunScalar,
    {MixRunScalar<MixLayout::kMono>, MixRunScalar<MixLayout::kSpread>,
     MixRunScalar<MixLayout::kCentre>, MixRunScalar<MixLayout::kSingle>},
    {MixGainsScalar<MixLayout::kMono>, MixGainsScalar<MixLayout::kSpread>,
     MixGainsScalar<MixLayout::kCentre>, MixGainsScalar<MixLayout::kSingle>},
    Convert16,
    Convert8,
    nullptr,  // tremolo ticks one by one
    true,
};

}  // namespace

const KernelSet& ScalarKernels() { return kScalar; }

const KernelSet* FindKernelSet(const char* name) {
  if (name == nullptr) return nullptr;
  if (std::strcmp(name, "scalar") == 0) return &kScalar;
  if (std::strcmp(name, "sse2") == 0) return Sse2Kernels();
  if (std::strcmp(name, "avx2") == 0) return Avx2Kernels();
  if (std::strcmp(name, "neon") == 0) return NeonKernels();
  return nullptr;
}

const KernelSet& ChooseKernelSet(const char* request) {
  if (const KernelSet* requested = FindKernelSet(request)) return *requested;
  for (const KernelSet* best : {Avx2Kernels(), NeonKernels(), Sse2Kernels()}) {
    if (best != nullptr) return *best;
  }
  return kScalar;
}

}  // namespace pocketmidi
