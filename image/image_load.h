#pragma once
#include <string>
#include <vector>

// What loading an image said and found, for the caller to show and act on:
// the loaders fill the buffer they are given and know nothing of a screen.
struct ImageLoad {
    // One thing to show, in the order the load met it.
    struct Notice {
        enum Kind { kSetMessage, kAppendMessage, kBox } kind;
        std::string text;
    };

    bool bOk = false;
    // The body the image names, as the table spells it; empty when it names none.
    std::string strBodyName;
    // A voice image of no known body: the body selected before goes too.
    bool bForgetBody = false;
    // The data records were read: the serial-number addresses are checked
    // against what they left in the buffer, before the notices are shown.
    bool bCheckSerial = false;
    std::vector<Notice> notices;

    ImageLoad& Set(const std::string& text) { return Add(Notice::kSetMessage, text); }
    ImageLoad& Append(const std::string& text) { return Add(Notice::kAppendMessage, text); }
    ImageLoad& Box(const std::string& text) { return Add(Notice::kBox, text); }
    // The message line after the notices, when it read `before` at the start.
    std::string MessageAfter(const std::string& before = std::string()) const;
    std::vector<std::string> Boxes() const;

  private:
    ImageLoad& Add(Notice::Kind kind, const std::string& text) {
        notices.push_back({kind, text});
        return *this;
    }
};
