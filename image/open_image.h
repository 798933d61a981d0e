#pragma once
#include <string>

#include "image/pc_buffer.h"

class Session;

// The open-file dialog of the Open command.
extern const char kOpenDialogTitle[];
extern const char kOpenDialogDefExt[];
extern const char kOpenDialogInitialName[];
extern const char kOpenDialogFilter[];  // '|'-separated, as the framework takes it

// Loads the path with the voice loader or the .otp loader, by its extension.
bool LoadImageFile(const std::string& path, PcBuffer& buf, Session& session);
