// The reference-counted cache of loaded instruments and their release.
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "instruments/instrument.h"
#include "instruments/instrument_bank.h"
#include "instruments/patch_name.h"
#include "io/file_stream.h"
#include "synth/synth_engine.h"
#include "voice/voice.h"

namespace pocketmidi {

namespace {

constexpr int kBuckets = 128;

// The count is an 8-bit signed value kept in a 32-bit field; it wraps like
// one (256 holders read as 0, and 256 releases still reach 1 last).
int8_t Count(const CacheNode& node) { return static_cast<int8_t>(node.refCount); }

CacheNode** FindNodeLink(SynthEngine& engine, const char* name) {
  CacheNode** link = &engine.instrumentCache[PatchNameHash(name)];
  while (*link != nullptr && std::strncmp((*link)->name, name, kPatchNameBytes) != 0) {
    link = &(*link)->next;
  }
  return *link != nullptr ? link : nullptr;
}

bool IsCached(const SynthEngine& engine, const Instrument* instrument) {
  for (const CacheNode* head : engine.instrumentCache) {
    for (const CacheNode* node = head; node != nullptr; node = node->next) {
      if (node->instrument == instrument) return true;
    }
  }
  return false;
}

// True while a sounding voice (any state but Free) plays one of the
// instrument's samples.
bool IsPlaying(const SynthEngine& engine, const Instrument* instrument) {
  if (engine.voices == nullptr) return false;
  for (int32_t v = 0; v < engine.voiceCount; ++v) {
    const Voice& voice = engine.voices[v];
    if (voice.state == kVoiceFree) continue;
    for (int32_t s = 0; s < instrument->sampleCount; ++s) {
      if (voice.sample == &instrument->samples[s]) return true;
    }
  }
  return false;
}

// Drops the slot's hold on its cached instrument. The last hold unlinks the
// node at once, so a later note on any slot naming the patch loads it anew
// with that slot's own settings. Only the memory waits: a voice may still be
// reading the instrument (an earlier note in a long release, or a note of
// another slot that found it in the cache), so the node moves to the retired
// list and is freed after a block in which no voice plays it.
void ReleaseSlot(SynthEngine& engine, InstrumentSlot& slot) {
  if (!PatchNameFits(slot.name)) return;
  CacheNode** link = FindNodeLink(engine, slot.name);
  if (link == nullptr) return;  // not cached: the slot is left as it is
  CacheNode* node = *link;
  // Only a slot that holds the cached instrument holds one of its counts. A
  // slot already released (an entry recorded twice after a seek) must not
  // take away the count of another slot still using the instrument.
  if (slot.instrument != node->instrument) return;
  if (Count(*node) == 1) {
    *link = node->next;
    node->next = engine.retiredInstruments;
    engine.retiredInstruments = node;
  } else {
    node->refCount = static_cast<int8_t>(Count(*node) - 1);
  }
  slot.instrument = PendingInstrument();  // a later note reloads it
}

void FreeNode(CacheNode* node) {
  FreeInstrument(node->instrument);
  std::free(node);
}

// Frees every retired instrument that no voice plays any more.
void FreeIdleRetired(SynthEngine& engine) {
  CacheNode** link = &engine.retiredInstruments;
  while (*link != nullptr) {
    CacheNode* node = *link;
    if (IsPlaying(engine, node->instrument)) {
      link = &node->next;
      continue;
    }
    *link = node->next;
    FreeNode(node);
  }
}

}  // namespace

int32_t PatchNameHash(const char* name) {
  uint32_t hash = 0;
  for (const unsigned char* c = reinterpret_cast<const unsigned char*>(name); *c != 0; ++c) {
    hash = (hash * 31 + *c) & 0xFFFF;
  }
  return static_cast<int32_t>(hash & 127);
}

Instrument* FindCachedInstrument(SynthEngine& engine, const char* name) {
  if (!PatchNameFits(name)) {
    engine.cacheHashHint = -1;
    return nullptr;
  }
  const int32_t bucket = PatchNameHash(name);
  engine.cacheHashHint = static_cast<int16_t>(bucket);
  for (CacheNode* node = engine.instrumentCache[bucket]; node != nullptr; node = node->next) {
    if (std::strncmp(node->name, name, kPatchNameBytes) == 0) {
      engine.cacheHashHint = -1;
      node->refCount = static_cast<int8_t>(Count(*node) + 1);
      return node->instrument;
    }
  }
  return nullptr;
}

// When the node cannot be allocated the instrument stays uncached: its slot
// alone holds it, it is never released early, and ReleaseAllInstruments
// frees it with the engine.
void CacheInstrument(SynthEngine& engine, Instrument* instrument, const char* name) {
  if (instrument == nullptr || !PatchNameFits(name)) return;
  const int32_t hint = engine.cacheHashHint;
  const int32_t bucket = (hint >= 0 && hint < kBuckets) ? hint : PatchNameHash(name);
  auto* node = static_cast<CacheNode*>(std::malloc(sizeof(CacheNode)));
  if (node == nullptr) return;
  engine.cacheHashHint = -1;
  node->name = name;
  node->instrument = instrument;
  node->refCount = 1;
  node->next = engine.instrumentCache[bucket];
  engine.instrumentCache[bucket] = node;
}

void FreeInstrument(Instrument* instrument) {
  if (instrument == nullptr || IsPendingInstrument(instrument)) return;
  if (instrument->samples != nullptr) {
    for (int32_t s = 0; s < instrument->sampleCount; ++s) std::free(instrument->samples[s].data);
  }
  std::free(instrument->samples);
  std::free(instrument);
}

void ReleaseFinishedInstruments(SynthEngine& engine) {
  if (engine.voiceCount < 1) return;
  const int32_t entries = engine.voiceCount < kReleaseListSize ? engine.voiceCount : kReleaseListSize;
  for (int32_t i = 0; i < entries; ++i) {
    const int32_t slotIndex = engine.releaseSlot[i];
    if (slotIndex == -1) break;
    const int32_t v = engine.releaseVoice[i];
    if (v < 0 || v >= engine.voiceCount || engine.voices == nullptr ||
        engine.voices[v].state != kVoiceFree) {
      continue;  // the note is still sounding (or was never found): wait
    }
    if (slotIndex >= 0 && slotIndex < 128) {
      InstrumentSlot* table = engine.releaseIsDrum[i] ? engine.drumSlots : engine.toneSlots;
      ReleaseSlot(engine, table[slotIndex]);
    }
    engine.releaseSlot[i] = -1;
  }
  FreeIdleRetired(engine);
}

void ReleaseAllInstruments(SynthEngine& engine) {
  // The archive is still open in first-note mode (and after a load-all that
  // never finished); closing whatever is open covers both.
  ClosePatchArchive(engine);

  // Uncached instruments are each held by the one slot that loaded them.
  for (InstrumentSlot* table : {engine.toneSlots, engine.drumSlots}) {
    for (int i = 0; i < 128; ++i) {
      Instrument* instrument = table[i].instrument;
      if (instrument == nullptr || IsPendingInstrument(instrument)) continue;
      if (!IsCached(engine, instrument)) FreeInstrument(instrument);
    }
  }
  std::memset(engine.toneSlots, 0, sizeof(engine.toneSlots));
  std::memset(engine.drumSlots, 0, sizeof(engine.drumSlots));

  auto freeList = [](CacheNode*& head) {
    while (head != nullptr) {
      CacheNode* next = head->next;
      FreeNode(head);
      head = next;
    }
  };
  freeList(engine.retiredInstruments);
  for (CacheNode*& head : engine.instrumentCache) freeList(head);
}

}  // namespace pocketmidi
