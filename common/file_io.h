#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// How the bytes of a path name a file on Windows: the main program keeps its
// texts in UTF-8, the option library and the print program in the ANSI code
// page. Elsewhere both are the path as it stands.
enum class PathCoding { Utf8, Ansi };

// fopen for UTF-8 paths on every platform (Windows takes wide names).
std::FILE* OpenFileUtf8(const std::string& path, const char* mode);
bool RemoveFileUtf8(const std::string& path);
std::FILE* OpenFile(const std::string& path, const char* mode, PathCoding coding);
// What is left to read of an open file.
std::vector<uint8_t> ReadRest(std::FILE* file);
// The whole file; false (and no bytes) when it cannot be opened, read or held.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes,
                   PathCoding coding = PathCoding::Utf8);

// The folder of a module's path with its closing backslash: the program's
// folder, where its settings and companion files live.
std::string ModuleFolder(const std::string& modulePath);
