#pragma once

// Settings lines that keep the program's external address lookup off the network: the router
// page mode with no page chosen, whose lookup fails at once without sending anything. For tests
// that start the web server (every start looks the address up) or the address detection.

namespace kestrelon::test {

inline constexpr const char* kNoOutsideLookup = "[Router]\nExternal=0\nUserDefined=1\n";

} // namespace kestrelon::test
