// The inner loops of the render path, in one set per instruction set: the
// interpolation of a run, the mix of a run at constant gains and the
// conversion of a mixed block to PCM. The scalar set is the reference; every
// other set produces exactly its bytes. An engine picks its set once, when it
// is made, and keeps a pointer to it; the sets themselves are constant.
#pragma once

#include <cstdint>

namespace pocketmidi {

// n points (n >= 0) of a run starting at positionQ12 and moving by stepQ12
// per point; every position of the run lies in [0, 2^31) and has both of its
// neighbouring points readable. out has room for kInterpolateOvershoot points
// more than the run: a set may write values there (a whole vector for the
// last few points), which the next run overwrites or nobody reads.
constexpr int32_t kInterpolateOvershoot = 8;
using InterpolateFn = void (*)(const int16_t* data, int32_t positionQ12, int32_t stepQ12,
                               int16_t* out, int32_t n);

// Adds n points times Q12 gains into the accumulators (MixLayout order:
// mono, spread, centre, single), wrapping modulo 2^32. Gains are any int32.
// A set may read one point past the run (the sample data keeps a guard
// point, the resample buffer room for more) and read and write back,
// unchanged, up to kMixOvershoot accumulators past the run's last one: the
// vector sets mix a run's last few points as a whole vector.
constexpr int32_t kMixOvershoot = 32;
using MixRunFn = void (*)(const int16_t* points, int32_t* slots, int32_t n, int32_t left,
                          int32_t right);

// As MixRunFn with a gain per accumulator instead of constant gains: mono
// and single n gains (one per point), spread and centre 2n (left, right per
// point). Gains must lie in 0..32767 (others: use the scalar set's form).
// Kernels with control ticks use it to mix a whole block of short runs.
using MixGainsFn = void (*)(const int16_t* points, int32_t* slots, int32_t n,
                            const int32_t* gains);

// Converts `values` accumulators at data in place into 16-bit little-endian
// or unsigned 8-bit samples, from the first one on.
using ConvertFn = void (*)(uint8_t* data, uint32_t values);

// Up to kTremoloBatch tremolo ticks in a row: how many, their gains, and
// which of them change the gains (voice/tremolo_ticks.h has the inputs and
// the reference form).
struct TremoloTicks;
constexpr int kTremoloBatch = 8;
using TremoloGainsFn = int32_t (*)(const TremoloTicks& ticks, int32_t* left, int32_t* right,
                                   int32_t* trem, uint32_t* changes);

struct KernelSet {
  const char* name;
  InterpolateFn interpolate;
  MixRunFn mix[4];
  MixGainsFn mixGains[4];
  ConvertFn convert16;
  ConvertFn convert8;
  // Null where batches would cost more than ticks one by one (no vector
  // form: the reference loop is slower than the single-tick path).
  TremoloGainsFn tremoloGains;
  // The reference runs every control tick through ControlTick and mixes run
  // by run at the gains it leaves, as the procedure reads, and mixes every
  // voice at every event (none waits); the other sets take the in-place
  // ticks and merged runs of the mix kernels, and let voices wait.
  bool literalTicks;
};

// The set of that name ("scalar", "sse2", "avx2", "neon") when this build and
// this CPU can run it, else null.
const KernelSet* FindKernelSet(const char* name);

// The set an engine uses: the one requested (the POCKETMIDI_KERNELS
// variable) when it can run here, otherwise the best one the CPU has. An
// unknown or unavailable request is not an error: output bytes are the same
// on every set, only the speed differs.
const KernelSet& ChooseKernelSet(const char* request);

// Sets provided by the instruction-set files; null where not built or not
// supported by the running CPU.
const KernelSet& ScalarKernels();
const KernelSet* Sse2Kernels();
const KernelSet* Avx2Kernels();
const KernelSet* NeonKernels();

}  // namespace pocketmidi
