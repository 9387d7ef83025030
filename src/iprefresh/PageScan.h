#pragma once

#include <string>
#include <string_view>

// The scans that take the external address out of a fetched page. Every scan stops at the end of
// the page: what it collected until then is its result. Pure; any thread.

namespace kestrelon {

struct EchoService;

// An echo service's page: from the marker's first character plus the service's offset (counted
// from the start of the page when the marker is absent) up to the terminator.
std::string scanEchoPage(const EchoService& service, std::string_view page);

// A router's status page: the scan starts skip characters after the end of the first occurrence
// of keyword (from the start of the page when the keyword is absent), passes over what is not a
// digit, then collects digits, "." and blanks. skipText is read as a decimal integer; a text
// that is not one counts as the keyword's length.
std::string scanRouterPage(std::string_view page, std::string_view keyword, std::string_view skipText);

// The skip count as the scan reads it: decimal with an optional sign, blanks around it allowed;
// anything else gives fallback.
long skipCount(std::string_view skipText, long fallback);

// The result without leading and trailing blanks and control characters.
std::string trimAddress(std::string_view text);

} // namespace kestrelon
