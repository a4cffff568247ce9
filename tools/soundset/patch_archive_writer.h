// Writes the patch archive: an 8-byte header (compression flag, index size),
// an index of 24-byte entries sorted by name in byte order (the loader
// binary-searches it with strcmp), then each patch as 4 lead bytes, the
// 51-byte header and the stored sample data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "soundset/patch_description.h"

namespace pocketmidi::soundset {

// Turns a description into header bytes and stored data. `compressed`
// selects IMA ADPCM data (16-bit signed, ModeUnsigned clear), otherwise the
// description's bits/sign/direction. Loop points become byte offsets of the
// uncompressed stored data, mirrored for reversed storage so that they are
// right after the loader turns the points round.
EncodedPatch EncodePatch(const PatchDescription& patch, bool compressed);

// The archive bytes for these patches, or an empty vector (with *error set
// when error is not null) when a name is empty, longer than 15 bytes or
// used twice. The header's data size field is written as EncodePatch left it.
std::vector<uint8_t> BuildArchive(const std::vector<EncodedPatch>& patches, bool compressed,
                                  std::string* error = nullptr);
std::vector<uint8_t> BuildArchive(const std::vector<PatchDescription>& patches, bool compressed,
                                  std::string* error = nullptr);

// Writes bytes to a file; false (with *error) when it cannot be written.
bool WriteBytesToFile(const std::string& path, const std::vector<uint8_t>& bytes,
                      std::string* error = nullptr);

}  // namespace pocketmidi::soundset
