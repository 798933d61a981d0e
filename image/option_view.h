#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Rules of the "&Option..." and "&Print" commands that need no window.

// The listing shown in the option view's failure messages lives in a buffer of
// this size: 24 words, three lines of eight, and the terminating zero.
constexpr size_t kOptionListingSize = 128;
constexpr size_t kOptionListingWords = 24;

// "%04X " per option word, "\r\n" after every eighth. Only the first `count`
// words are listed (the header's count may be below the block's size), and no
// more than kOptionListingWords, so the text always fits its buffer.
std::string OptionListing(const std::vector<uint16_t>& words, size_t count);

constexpr char kNoOptionsText[] = "No Options exist!";
constexpr char kNoPrintOptionText[] = "Have no option!";
constexpr char kLoadFailedText[] = "Failed to load Option DLL!\n\n";
constexpr char kNoExportText[] = "Failed to GetProcAddress!\n\n";
constexpr char kOptionLibraryName[] = "Ravelin32.dll";
constexpr char kPrintProgramName[] = "Tessel32.exe";
constexpr unsigned kPrintLaunchWaitMs = 2000;

// Which file the option view reports on.
enum class OptionFileChoice {
    ImageFile,     // the buffer is the image of m_strFileName
    TemporaryOtp,  // written from the buffer for the driver's body
    NoDriverBody,  // nothing to write with: refused
};
OptionFileChoice ChooseOptionFile(bool fileImage, bool haveDriverBody);

// Said instead of writing a temporary image without a body to describe it.
constexpr char kNoDriverBodyText[] =
    "The options cannot be shown: this buffer is not the image of a file, and no chip "
    "driver has been downloaded to describe it. Open the image file or download first.";

// '%s "%s" %s': program path, image path in double quotes, body name. A
// program path with blanks gets double quotes of its own.
std::string PrintCommandLine(const std::string& programPath, const std::string& imagePath,
                             const std::string& bodyName);
