#pragma once
#include <string>

#include "image/body_table.h"

class Profile;

// What the image loaders need of the main window. The window implements it;
// tests stand in a recording double.
class ImageLoadHost {
  public:
    virtual ~ImageLoadHost() = default;

    // Message line: replace or extend the text. Neither reaches the screen
    // before UpdateScreen.
    virtual void SetMessage(const std::string& text) = 0;
    virtual void AppendMessage(const std::string& text) = 0;
    // Pushes the bound text fields to their controls.
    virtual void UpdateScreen() = 0;
    // OK-only message box captioned with the program's name.
    virtual void ShowMessageBox(const std::string& text) = 0;

    // 0 empties the checksum label; 1 shows the buffer's checksum.
    virtual void ShowChecksum(int flag) = 0;
    // Hex view scroll range 0..maxRow, position 0, first row 0, image mode.
    virtual void ResetHexView(int maxRow) = 0;

    // Writes [Setting] BodyName, runs SelectBody and keeps its result as the
    // selected body; returns that body, or nullptr.
    virtual const BodyRecord* SelectBodyByName(const std::string& name) = 0;
    // Leaves the window with no selected body.
    virtual void ClearSelectedBody() = 0;
    virtual const BodyTable& Bodies() const = 0;
    virtual Profile& Settings() = 0;

    // Serial-number address check after an .otp load (a no-op while serial
    // numbers are off).
    virtual void CheckSerialAddresses() = 0;
    // Dispatches at most one waiting window message.
    virtual void PumpOneMessage() = 0;
};
