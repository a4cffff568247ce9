// What a timeline event does to its channel's own state (volume, pan,
// sustain, bend, bend range, program, controller reset). Dispatch and seek
// both apply events through here, so a new controller is added once;
// dispatch then adds only the effect on the voices already sounding.
#pragma once

#include "synth/synth_engine.h"
#include "synth/synth_event.h"

namespace pocketmidi {

// Applies event to channel, the state of MIDI channel ch (0..15). Events
// that only touch voices (notes, key pressure, sound off, notes off) and the
// list head leave it as it is.
void ApplyChannelEvent(ChannelState& channel, int ch, const SynthEvent& event);

// Controller reset: volume 90, expression 127, sustain off, bend centred.
// Program, pan and bend range stay as they are.
void ResetChannelControllers(ChannelState& channel);

}  // namespace pocketmidi
