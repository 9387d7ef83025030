#pragma once

#include "portio/PortBackend.h"

#include <deque>
#include <mutex>
#include <utility>

namespace kestrelon {

// Used where no port can be reached, and by the tests: keeps the last writes in memory and,
// when given a file, appends one line per write to it: the address as four upper-case hex
// digits, a blank and the byte in decimal ("0278 5").
class RecordingPortBackend : public PortBackend {
public:
    static constexpr size_t kKeptWrites = 256;

    explicit RecordingPortBackend(std::string recordFile = {});
    ~RecordingPortBackend() override;

    bool write(uint16_t address, uint8_t value, std::string& error) override;
    std::string description() const override;
    // Without a record file this is the stand-in for a missing port; recording into a file is
    // asked for (KESTRELON_PORT_RECORD) and counts as the port.
    bool portPresent() const override { return !m_file.empty(); }

    std::deque<std::pair<uint16_t, uint8_t>> recentWrites() const;

private:
    std::string m_file;
    int m_fd = -1;
    mutable std::mutex m_mutex;
    std::deque<std::pair<uint16_t, uint8_t>> m_recent;
};

} // namespace kestrelon
