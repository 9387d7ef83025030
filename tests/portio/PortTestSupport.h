#pragma once

#include "core/Settings.h"
#include "portio/PortOutputDevice.h"
#include "portio/RecordingPortBackend.h"
#include "support/TempDir.h"

#include <memory>
#include <string>
#include <vector>

namespace kestrelon::test {

// A port device whose every write, at whatever address, is appended to a record file as
// "0278 5" lines, so a test sees the bytes in the order they went out.
struct RecordedPort {
    TempDir dir;
    std::string file = dir.path() + "/port.txt";
    PortOutputDevice port{[this](uint16_t) { return std::make_unique<RecordingPortBackend>(file); }};

    std::string writes() const { return readFile(file); }
};

// Settings with I/O control and the schedule switched on and the given entries.
Settings scheduleSettings(std::vector<ScheduleEntry> entries);

} // namespace kestrelon::test
