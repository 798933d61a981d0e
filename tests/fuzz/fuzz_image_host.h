#pragma once
#include <memory>

#include "image/body_table.h"

// The chip bodies the image fuzz targets load against, set in memory.
inline const BodyTable& FuzzBodies() {
    static const BodyTable table = [] {
        BodyTable t;
        const char* lines[] = {"A,AD,1F2,2000,2",  "B,D6,155,10000,3", "C,A1,A1,1000,1",
                               "D,70,1234,4000,4", "E,D8,E2,4000,0",   "F,C2,E0,4000,0",
                               "G,D8,E5,10000,0",  "H,0,0,0,0"};
        for (const char* line : lines) {
            auto rec = std::make_unique<BodyRecord>();
            if (ParseBodyLine(line, true, *rec)) t[rec->szName] = std::move(rec);
        }
        return t;
    }();
    return table;
}
