#pragma once

#include "core/Settings.h"

#include <string>

namespace kestrelon {

// The precondition check of a refresh (CheckFiles): the empty text when a refresh may run, else
// the message saying what is missing. Only with "Enable FTP" set are the eight tests run, in
// order, the last failing one giving the message. localHost is the web server's selected
// address. Pure; any thread.
std::string checkFilesMessage(const Settings& settings, const std::string& localHost);

} // namespace kestrelon
