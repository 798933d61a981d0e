#pragma once
#include <string>

#include "image/body_table.h"
#include "image/image_load.h"
#include "image/pc_buffer.h"

// The open-file dialog of the Open command.
extern const char kOpenDialogTitle[];
extern const char kOpenDialogDefExt[];
extern const char kOpenDialogInitialName[];
extern const char kOpenDialogFilter[];  // '|'-separated, as the framework takes it

// Loads the path with the voice loader or the .otp loader, by its extension.
ImageLoad LoadImageFile(const std::string& path, PcBuffer& buf, const BodyTable& bodies,
                        bool checksumTest);
