#include "core/link_texts.h"

#include "writer/port_list.h"
#include "writer/protocol.h"

std::string DetectingLinkText(int port) {
    return "Detecting " + PortName(port) + "...";
}

std::string ConnectedLinkText(int port) {
    return "Connected(" + PortName(port) + ")";
}

std::string WriterVersionText(const std::string& firmware) {
    std::string text = kSoftwareVersionText;
    if (!firmware.empty()) text += ", Firmware(" + firmware + ")";
    return text;
}

std::vector<Event> LinkNewsEvents(const LinkNews& news) {
    using K = LinkNews::Kind;
    switch (news.kind) {
        case K::kSearching:
            return {Event::Text(Slot::kMessage, "Connecting to Pyrograph...")};
        case K::kTrying:
            return {Event::Text(Slot::kLink, DetectingLinkText(news.port))};
        case K::kFound:
            return {Event::Text(Slot::kMessage, "Connect with Pyrograph."),
                    Event::Text(Slot::kLink, ConnectedLinkText(news.port))};
        case K::kNotFound:
            return {Event::Text(Slot::kMessage, "Disconnected from the Pyrograph."),
                    Event::Text(Slot::kLink, "Disconnected")};
        case K::kVersions:
            return {Event::Text(Slot::kVersion, WriterVersionText(news.firmware))};
        case K::kBusy:
            if (const char* text = BusyStepText(news.status))
                return {Event::Text(Slot::kMessage, text)};
            return {};
        case K::kProgressStart:
        case K::kProgress: {
            Event e = Event::Of(Event::Kind::kProgress);
            e.pos = news.kind == K::kProgress ? news.pos : 0;
            e.max = news.max;
            return {e};
        }
        case K::kOverflow:
            break;
    }
    Event box = Event::Of(Event::Kind::kBox, "Receive Buffer overflow!");
    box.flags = kBoxOk;
    return {box};
}
