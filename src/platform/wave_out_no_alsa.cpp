// Built instead of the ALSA backend when ALSA is not available: there is no
// system device, so the default device falls back to the null device.
#include "platform/wave_out_backend.h"

namespace pocketmidi {

std::unique_ptr<WaveOutBackend> CreateAlsaBackend(const std::string&) { return nullptr; }

}  // namespace pocketmidi
