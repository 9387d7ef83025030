#pragma once

#include <array>
#include <string>
#include <string_view>

namespace kestrelon {

// A public page that states the caller's address, and where the address stands in it.
struct EchoService {
    const char* url;
    const char* name;   // shown in the hold-off message
    const char* marker; // the text searched in the page
    size_t offset;      // first address character, counted from the marker's first one
    char terminator;    // the address ends before the first of these
};

// The two echo services offered in the list; the first is the default of [DNS] ExtDNS. A
// service is recognised only by an exact match of the list's text with its URL.
extern const std::array<EchoService, 2> kEchoServices;

// The index of the service whose URL is exactly this text, or -1.
int echoServiceIndex(std::string_view url);

} // namespace kestrelon
