#pragma once
#include <cstdlib>
#include <map>
#include <string>

#include "common/memory_profile.h"
#include "image/body_table.h"
#include "core/session.h"

// A front end that keeps nothing but the message, over a session whose
// bodies are set in memory; the loaders take it for that session.
class FuzzImageHost : public SilentFrontEnd {
  public:
    FuzzImageHost() {
        const char* lines[] = {"A,AD,1F2,2000,2",  "B,D6,155,10000,3", "C,A1,A1,1000,1",
                               "D,70,1234,4000,4", "E,D8,E2,4000,0",   "F,C2,E0,4000,0",
                               "G,D8,E5,10000,0",  "H,0,0,0,0"};
        for (const char* line : lines) {
            auto rec = std::make_unique<BodyRecord>();
            if (ParseBodyLine(line, true, *rec)) session_.m_bodyTable[rec->szName] = std::move(rec);
        }
    }
    void SetText(FrontText which, const std::string& t) override {
        if (which == FrontText::kMessage) message_ = t;
    }
    void AppendMessage(const std::string& t) override {
        if (message_.size() < 4096) message_ += t;
    }
    void ResetHexView(int maxRow) override {
        if (maxRow < 0) std::abort();
    }

    operator Session&() { return session_; }
    Profile& Settings() { return profile_; }

  private:
    MemoryProfile profile_;
    NoPort port_;
    Session session_{profile_, *this, port_};
    std::string message_;
};
