#pragma once
#include <string>

// Sets one key of a settings file held as its raw bytes, so that the profile
// functions read `value` back, and changes nothing else: other sections and
// keys, comments, blank lines, spacing, line ends (CR LF or LF) and the
// encoding (ANSI or UTF-8 with or without a byte-order mark, UTF-16 with one)
// stay byte for byte. Section and key match without regard to case, in the
// first section of that name; an existing key keeps its spelling and the
// blanks after its '=', only the value is replaced. A missing key is added
// after the last key of its section, a missing section at the end of the file.
// Section, key and value are ASCII.
void SetProfileValue(std::string& file, const std::string& section, const std::string& key,
                     const std::string& value);
