#pragma once
#include <string>

// The settings file lives beside the program that reads it.
constexpr char kSettingsFileName[] = "Larkspur.ini";

// The settings file beside the program: cut at the last backslash, which goes.
std::string SettingsPathBeside(const std::string& exePath);
