#pragma once

#include <optional>
#include <string>

// The host part of the URLs our clients hand to libcurl. Pure; any thread.

namespace kestrelon {

// A letter, digit, ".", "-" or "_": what a host name or dotted address is made of.
bool isHostNameChar(char c);

// The host as it goes into a URL: a name or dotted address as it is, an IPv6 address in brackets
// with its zone written "%25zone". Nothing when the text holds anything else, so that no typed
// host can add a path, a user or another host to the URL.
std::optional<std::string> urlHost(const std::string& host);

} // namespace kestrelon
