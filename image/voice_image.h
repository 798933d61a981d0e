#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "common/chip_family.h"
#include "image/body_table.h"
#include "image/image_load.h"
#include "image/pc_buffer.h"

constexpr long kVoiceHeaderBytes = 0x1000;

// True when the path names a voice kind of the chip-family table (FindVoiceKind).
bool IsVoiceFile(const std::string& path);

// Converts an open voice file of the given kind into the buffer's ROM block
// and sets counts, PID and OID. False only when memory runs out.
bool ReadVoiceImage(std::FILE* file, const VoiceKind& kind, PcBuffer& buf);

// Replaces the buffer with the voice image; its body must be one of `bodies`.
ImageLoad LoadVoiceFile(const std::string& path, PcBuffer& buf, const BodyTable& bodies);
