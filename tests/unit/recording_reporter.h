#pragma once
// The one recording double of the session's reporter: every event in order,
// the texts they leave, and scripted answers to the questions.
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/reporter.h"

class RecordingReporter : public Reporter {
  public:
    std::vector<Event> events;
    std::map<Slot, std::string> texts;  // as the events leave them
    std::vector<std::string> messages;  // every message line set, in order
    std::vector<std::string> boxes;
    std::vector<unsigned> boxFlags;
    std::vector<std::string> questions;
    std::deque<bool> answers;  // then answerYes
    bool answerYes = false;
    std::vector<int> progress;
    int progressRange = -1;
    std::vector<bool> running;  // true at each command's start, false at its end
    std::vector<bool> voiceModes;
    int beeps = 0, hexMax = -1;
    // Sees each event as it comes, inside the command.
    std::function<void(const Event&)> onEvent;

    std::string& Message() { return texts[Slot::kMessage]; }
    // Every text one slot was given, in order.
    std::vector<std::string> TextsOf(Slot slot) const {
        std::vector<std::string> out;
        for (const Event& e : events)
            if (e.kind == Event::Kind::kText && e.slot == slot) out.push_back(e.text);
        return out;
    }

    void Report(const Event& e) override {
        events.push_back(e);
        using K = Event::Kind;
        switch (e.kind) {
            case K::kText:
                texts[e.slot] = e.text;
                if (e.slot == Slot::kMessage) messages.push_back(e.text);
                break;
            case K::kAppend:
                Message() += e.text;
                break;
            case K::kWarning:
                Message() += " " + e.text;
                break;
            case K::kProgress:
                if (e.max != progressRange) {
                    progressRange = e.max;
                    if (e.pos == 0) break;
                }
                progress.push_back(e.pos);
                break;
            case K::kBeep:
                ++beeps;
                break;
            case K::kBox:
                boxes.push_back(e.text);
                boxFlags.push_back(e.flags);
                break;
            case K::kHexReset:
                hexMax = e.pos;
                break;
            case K::kModes:
                voiceModes.push_back(e.voice);
                break;
            case K::kStarted:
                running.push_back(true);
                break;
            case K::kEnded:
                running.push_back(false);
                break;
        }
        if (onEvent) onEvent(e);
    }
    bool Ask(const std::string& question) override {
        questions.push_back(question);
        if (answers.empty()) return answerYes;
        const bool a = answers.front();
        answers.pop_front();
        return a;
    }

    // Forgets what was recorded; the texts on the screen and the answers stay.
    void Forget() {
        events.clear();
        messages.clear();
        boxes.clear();
        boxFlags.clear();
        questions.clear();
        progress.clear();
        running.clear();
        beeps = 0;
    }
};
