#pragma once
#include <cstdio>
#include <string>

// fopen for UTF-8 paths on every platform (Windows takes wide names).
std::FILE* OpenFileUtf8(const std::string& path, const char* mode);

// Upper-cases ASCII letters only, leaving UTF-8 sequences untouched.
std::string UpperAscii(std::string text);
