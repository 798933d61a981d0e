#include "image/image_load.h"

std::string ImageLoad::MessageAfter(const std::string& before) const {
    std::string message = before;
    for (const Notice& n : notices) {
        if (n.kind == Notice::kSetMessage) message = n.text;
        if (n.kind == Notice::kAppendMessage) message += n.text;
    }
    return message;
}

std::vector<std::string> ImageLoad::Boxes() const {
    std::vector<std::string> boxes;
    for (const Notice& n : notices)
        if (n.kind == Notice::kBox) boxes.push_back(n.text);
    return boxes;
}
