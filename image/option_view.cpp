#include "image/option_view.h"

#include <algorithm>
#include <cstdio>

std::string OptionListing(const std::vector<uint16_t>& words, size_t count) {
    const size_t n = std::min({count, words.size(), kOptionListingWords});
    std::string text;
    text.reserve(kOptionListingSize);
    for (size_t i = 0; i < n; ++i) {
        char cell[8];
        std::snprintf(cell, sizeof cell, "%04X ", words[i]);
        text += cell;
        if ((i + 1) % 8 == 0) text += "\r\n";
    }
    return text;
}

OptionFileChoice ChooseOptionFile(bool fileImage, bool haveDriverBody) {
    if (fileImage) return OptionFileChoice::ImageFile;
    return haveDriverBody ? OptionFileChoice::TemporaryOtp : OptionFileChoice::NoDriverBody;
}

std::string PrintCommandLine(const std::string& programPath, const std::string& imagePath,
                             const std::string& bodyName) {
    // A program path with a blank is quoted, or the print program would take
    // the rest of its own path for its arguments.
    const bool quote = programPath.find_first_of(" \t") != std::string::npos;
    const std::string program = quote ? "\"" + programPath + "\"" : programPath;
    return program + " \"" + imagePath + "\" " + bodyName;
}
