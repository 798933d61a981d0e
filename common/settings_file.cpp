#include "common/settings_file.h"

#include "common/file_io.h"

std::string SettingsPathBeside(const std::string& exePath) {
    return ModuleFolder(exePath) + kSettingsFileName;
}
