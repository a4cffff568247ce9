// The maths functions `pocketmidi pack` calls, resolved from libm when it
// first calls one. The tool is linked with --wrap for each of them
// (CMakeLists.txt) and without libm: a process that only renders or plays
// then never maps libm, which would cost it about 300 KiB of resident memory
// (libm's relocations and the resolvers of its CPU-specific variants run at
// start-up). The functions are libm's own, so the results are the same bytes.
#if defined(POCKETMIDI_LAZY_LIBM)
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace {

struct LibM {
  double (*pow)(double, double) = nullptr;
  double (*sin)(double) = nullptr;
  double (*cos)(double) = nullptr;
  double (*sqrt)(double) = nullptr;
  double (*ceil)(double) = nullptr;
  double (*floor)(double) = nullptr;
  double (*trunc)(double) = nullptr;
  double (*round)(double) = nullptr;
  long (*lround)(double) = nullptr;
};

template <typename Function>
void Find(void* library, Function* function, const char* name) {
  *function = reinterpret_cast<Function>(library != nullptr ? dlsym(library, name) : nullptr);
  if (*function == nullptr) {
    // Only a broken installation gets here; a wrong number would be worse.
    std::fprintf(stderr, "pocketmidi: cannot load %s from libm.so.6\n", name);
    std::abort();
  }
}

// Loaded once, on the first call, and constant afterwards.
const LibM& Math() {
  static const LibM functions = [] {
    LibM m;
    void* library = dlopen("libm.so.6", RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    Find(library, &m.pow, "pow");
    Find(library, &m.sin, "sin");
    Find(library, &m.cos, "cos");
    Find(library, &m.sqrt, "sqrt");
    Find(library, &m.ceil, "ceil");
    Find(library, &m.floor, "floor");
    Find(library, &m.trunc, "trunc");
    Find(library, &m.round, "round");
    Find(library, &m.lround, "lround");
    return m;
  }();
  return functions;
}

}  // namespace

extern "C" {
double __wrap_pow(double x, double y) { return Math().pow(x, y); }
double __wrap_sin(double x) { return Math().sin(x); }
double __wrap_cos(double x) { return Math().cos(x); }
double __wrap_sqrt(double x) { return Math().sqrt(x); }
double __wrap_ceil(double x) { return Math().ceil(x); }
double __wrap_floor(double x) { return Math().floor(x); }
double __wrap_trunc(double x) { return Math().trunc(x); }
double __wrap_round(double x) { return Math().round(x); }
long __wrap_lround(double x) { return Math().lround(x); }
}
#endif
