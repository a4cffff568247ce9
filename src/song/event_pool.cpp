// The song's event pool and list insertion. Events are carved from blocks
// of kEventsPerBlock entries and freed block by block, never one by one.
#include <cstdlib>
#include <cstring>
#include <new>

#include "song/midi_song.h"

namespace pocketmidi {

MidiSong::MidiSong()
    : spMidiEnabled(1),
      polyphonyLimit(32),
      eventList(nullptr),
      firstEvent(nullptr),
      eventCount(0),
      trackTime(0),
      runningKind(0),
      runningChannel(0),
      nrpnSelected(0),
      bufferFill(kReadBufferBytes),
      readPos(0),
      nameSpaceLeft(0),
      nameOffset(0),
      blockSize(kEventBlockBytes),
      firstBlock(nullptr),
      lastBlock(nullptr),
      blockUsed(0),
      blockData(nullptr),
      lastEvent(nullptr) {
  for (int c = 0; c < kSongChannels; ++c) {
    channelEnabled[c] = 1;
    channelRank[c] = 16;
  }
  std::memset(infoProgram, 0, sizeof infoProgram);
  std::memset(paramByteA, 0, sizeof paramByteA);
  std::memset(paramByteB, 0, sizeof paramByteB);
  std::memset(infoPeakNotes, 0, sizeof infoPeakNotes);
  std::memset(infoActiveNotes, 0, sizeof infoActiveNotes);
  std::memset(readBuffer, 0, sizeof readBuffer);

  // The first block. When memory is short the song simply has no pool and
  // AppendEvent reports that; nothing is written through a null pointer.
  auto* node = static_cast<EventBlock*>(std::malloc(sizeof(EventBlock)));
  auto* data = static_cast<uint8_t*>(std::malloc(blockSize));
  if (node == nullptr || data == nullptr) {
    std::free(node);
    std::free(data);
    return;
  }
  node->data = data;
  node->next = nullptr;
  firstBlock = lastBlock = node;
  blockData = data;
}

MidiSong::~MidiSong() = default;

SongEvent* MidiSong::AppendEvent() {
  if (blockData == nullptr) return nullptr;
  if (static_cast<uint32_t>(blockUsed) >= blockSize) {
    auto* node = static_cast<EventBlock*>(std::malloc(sizeof(EventBlock)));
    auto* data = static_cast<uint8_t*>(std::malloc(blockSize));
    if (node == nullptr || data == nullptr) {
      // Out of memory: the reader treats this like the end of the data.
      std::free(node);
      std::free(data);
      return nullptr;
    }
    node->data = data;
    node->next = nullptr;
    lastBlock->next = node;
    lastBlock = node;
    blockData = data;
    blockUsed = 0;
  }
  auto* event = new (blockData + blockUsed) SongEvent{};
  blockUsed += static_cast<int32_t>(sizeof(SongEvent));
  return event;
}

void MidiSong::InsertEvent(SongEvent*& cursor, SongEvent* event) {
  while (cursor->next != nullptr && cursor->next->time < event->time) cursor = cursor->next;
  event->next = cursor->next;
  cursor->next = event;
  if (event->next == nullptr) lastEvent = event;
  ++eventCount;
  cursor = event;
}

void MidiSong::ReleaseEvents() {
  EventBlock* node = firstBlock;
  while (node != nullptr) {
    EventBlock* next = node->next;
    std::free(node->data);
    std::free(node);
    node = next;
  }
  firstBlock = lastBlock = nullptr;
  blockData = nullptr;
  blockUsed = 0;
  firstEvent = nullptr;
  lastEvent = nullptr;
  delete eventList;
  eventList = nullptr;
}

}  // namespace pocketmidi
