#pragma once
#include <cstdint>
#include <string>

// What the option-dump rules need from the platform: message boxes, the
// library's folder, temporary files, the project-information library and the
// per-body mask-conversion plug-ins. The Win32 library, the command-line tool
// and the tests each provide one.
class OptDumpHost {
  public:
    enum class PluginResult { kText, kNotLoadable, kNoExport };

    virtual ~OptDumpHost() = default;

    // Shows string-table message `id` (1 to 11) with `arg` in place of its %s.
    virtual void ShowMessage(int id, const std::string& arg) = 0;
    // Shows a text that is not in the string table.
    virtual void ShowLiteral(const std::string& text) = 0;

    // Folder of the library's own module file, with its trailing separator.
    virtual std::string LibraryDir() = 0;
    // Creates a new empty temporary file whose name starts with `prefix` and
    // returns its path; empty when none could be created.
    virtual std::string CreateTempFile(const char* prefix) = 0;
    virtual void DeleteFile(const std::string& path) = 0;
    virtual bool FileExists(const std::string& path) = 0;
    // Upper-cases a path for display (multi-byte aware where the platform is).
    virtual std::string UpperPath(const std::string& path);

    // Asks the project-information library where the option bytes of an .otp
    // image lie. `rest` is the header body after the PID, without its check
    // byte. False means the library gave no handle for this header. By default
    // the library's rule is applied in-process.
    virtual bool QueryOptionArea(uint16_t pid, const uint8_t* rest, uint32_t count,
                                 uint32_t* address, uint32_t* length);

    // Loads the plug-in at `path`, calls its OTPToMask with `options` and puts
    // the text it returns into `text`.
    virtual PluginResult RunMaskPlugin(const std::string& path, uint8_t* options,
                                       std::string* text) = 0;
};

// US English text of message `id`, with %s where the argument goes.
const char* EnglishMessage(int id);
// Puts `arg` in place of the first %s of `format`; no other directive is read.
std::string FormatMessageText(const std::string& format, const std::string& arg);
