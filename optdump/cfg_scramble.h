#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Stored configuration files: "CFG", one check character, then the text with
// each byte rotated by an amount taken from the stored byte before it.

// Plain text of a whole stored file; false when the mark or the check fails.
bool UnscrambleBytes(const std::vector<uint8_t>& stored, std::string* plain);
std::vector<uint8_t> ScrambleText(const std::string& plain);
// Unscrambles file `cfgPath` into the existing file `plainPath`.
bool UnscrambleConfig(const std::string& cfgPath, const std::string& plainPath);
