// The figures the suite takes from a phone's OBEX capability object.
#pragma once

#include <string>
#include <vector>

namespace obex {

struct CapabilityMemory {
    std::wstring memType;
    std::wstring freeBytes; // decimal text; empty when the phone does not say
};

struct CapabilityInfo {
    std::wstring manufacturer;
    std::wstring model;
    std::vector<CapabilityMemory> memories;
};

// Reads the General section's Manufacturer, Model and Memory elements (MemType,
// Free) of a capability object (UTF-8). Whatever it lacks stays empty.
CapabilityInfo ReadCapability(const std::string& utf8);

} // namespace obex
