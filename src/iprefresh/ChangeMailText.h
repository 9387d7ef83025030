#pragma once

#include "iprefresh/ChangeMailer.h"

#include "core/Settings.h"

#include <chrono>
#include <string>

// The address-change mail (SendWebmail): its texts and its assembly from the settings. Pure;
// any thread.

namespace kestrelon {

inline constexpr const char* kChangeMailLine = "Kestrelon IP-check has uploaded the following IP address: ";
inline constexpr const char* kTestMailText = "Test message";
inline constexpr const char* kFailedSessionText = "Failed FTP session: ";

// Four lines: the time in [TimeServer] Format, the fixed line, the text (the new address,
// "Failed FTP session: Error" or "Test message"), 35 hyphens; CR LF between them, none after.
std::string changeMailBody(const std::string& timeFormat, std::chrono::system_clock::time_point now,
                           const std::string& text);

// The subject: the "Subject:" box of the E-mail page.
std::string changeMailSubject(const Settings& settings);

// The whole mail: server, login (only with "Login required"), sender, recipients, subject, body.
ChangeMail changeMail(const Settings& settings, std::chrono::system_clock::time_point now,
                      const std::string& text);

// The Message log's line for a mail that failed.
std::string changeMailErrorLine(const std::string& error);

} // namespace kestrelon
