#pragma once
#include <cstddef>
#include <string>

// `text` with every byte that does not belong to a well-formed UTF-8 sequence
// replaced by U+FFFD, so a log or a JSON reader never meets broken text. Used by
// the production log and pyrocmd's JSON output.
std::string RepairUtf8(const std::string& text);

// Characters (code points) in `text`; a byte outside a well-formed sequence
// counts as one, as RepairUtf8 would make it.
size_t Utf8CharacterCount(const std::string& text);
