#pragma once
#include <string>
#include <vector>

#include "core/reporter.h"
#include "writer/link_news.h"

// How the link's news shows to a user, for every front end, in order: texts
// for slots, progress, or a box.
std::vector<Event> LinkNewsEvents(const LinkNews& news);

std::string DetectingLinkText(int port);  // "Detecting COM12..."
std::string ConnectedLinkText(int port);  // "Connected(COM12)"
// "Software(V1.2), Firmware(V0102)"; without a firmware, the software's alone.
std::string WriterVersionText(const std::string& firmware);
