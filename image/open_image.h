#pragma once
#include <string>

#include "image/pc_buffer.h"

class ImageLoadHost;

// The open-file dialog of the Open command.
extern const char kOpenDialogTitle[];
extern const char kOpenDialogDefExt[];
extern const char kOpenDialogInitialName[];
extern const char kOpenDialogFilter[];  // '|'-separated, as the framework takes it

// Loads the path with the voice loader or the .otp loader, by its extension.
bool LoadImageFile(const std::string& path, PcBuffer& buf, ImageLoadHost& host);

// Start-up path that the first Open takes instead of asking; used once.
class StartupPath {
  public:
    explicit StartupPath(std::string path = std::string()) : path_(std::move(path)) {}
    // The path, if one is still pending; afterwards there is none.
    bool Take(std::string& path);

  private:
    std::string path_;
};
