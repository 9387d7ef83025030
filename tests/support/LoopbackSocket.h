#pragma once

#include <cstdint>

namespace kestrelon::test {

// A TCP socket bound to 127.0.0.1 and a free port (not yet listening); port is set to it.
// Throws std::runtime_error when no socket can be had. Any thread.
int boundLoopbackSocket(uint16_t& port);

} // namespace kestrelon::test
