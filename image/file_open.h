#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// fopen for UTF-8 paths on every platform (Windows takes wide names).
std::FILE* OpenFileUtf8(const std::string& path, const char* mode);
// What is left to read of an open file.
std::vector<uint8_t> ReadRest(std::FILE* file);
// The whole file at a UTF-8 path; false when it cannot be opened, read or held.
bool ReadFileUtf8(const std::string& path, std::vector<uint8_t>& bytes);

// Upper-cases ASCII letters only, leaving UTF-8 sequences untouched.
std::string UpperAscii(std::string text);
