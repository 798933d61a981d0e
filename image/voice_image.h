#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "image/pc_buffer.h"

class Session;

// One voice-file extension and what it implies.
struct VoiceKind {
    const char* ext;  // upper case, with the dot
    uint16_t pid, oid;
    int format;          // kVoiceRawWords, kVoiceBytePerWord or kVoicePlanes
    uint32_t dataBytes;  // bytes read after the 0x1000-byte header (E-kind)
};
enum { kVoiceRawWords = 0, kVoiceBytePerWord = 1, kVoicePlanes = 2 };
constexpr long kVoiceHeaderBytes = 0x1000;

// The kind whose extension the path contains anywhere (upper-cased), testing
// ".R03" .. ".R36" then ".E03" .. ".E36"; nullptr for none.
const VoiceKind* FindVoiceKind(const std::string& path);
bool IsVoiceFile(const std::string& path);

// Converts an open voice file of the given kind into the buffer's ROM block
// and sets counts, PID and OID. False only when memory runs out.
bool ReadVoiceImage(std::FILE* file, const VoiceKind& kind, PcBuffer& buf);

// Replaces the buffer with the voice image and selects its body.
bool LoadVoiceFile(const std::string& path, PcBuffer& buf, Session& session);
