#pragma once
#include <cstdint>
#include <functional>
#include <string>

// What the link meets while it works, as it happens. It says what, never how
// it is shown: the texts, and whether as a box, are decided above the link.
struct LinkNews {
    enum class Kind {
        kSearching,      // a search for the writer starts
        kTrying,         // `port` is asked whether the writer is there
        kFound,          // the writer answered on `port`
        kNotFound,       // no port searched answered
        kVersions,       // the writer was asked its version: `firmware`, empty when none came
        kBusy,           // a poll says the writer is in the busy step `status`
        kProgressStart,  // a poll or transfer with progress 0..`max` starts
        kProgress,       // it is at `pos` of `max`
        kOverflow,       // more bytes came than any reply holds
    };
    Kind kind = Kind::kSearching;
    int port = 0;
    uint8_t status = 0;
    int pos = 0, max = 0;
    std::string firmware;
};

// Whoever drives the link hears its news through this, on the link's thread.
using LinkListener = std::function<void(const LinkNews&)>;
