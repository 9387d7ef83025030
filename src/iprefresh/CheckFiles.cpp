#include "iprefresh/CheckFiles.h"

#include <algorithm>

namespace kestrelon {

std::string checkFilesMessage(const Settings& s, const std::string& localHost)
{
    std::string message;
    if (!s.FTP.EnableFTP) {
        return message;
    }
    auto unchecked = [](const std::vector<TemplatePair>& pairs) {
        return std::any_of(pairs.begin(), pairs.end(), [](const TemplatePair& p) { return !p.checked; });
    };
    if (localHost == "127.0.0.1") {
        message = "Local Host Address Error";
    }
    if (s.Remote.Host.empty()) {
        message = "Remote FTP Host is required.";
    }
    if (s.Remote.Username.empty()) {
        message = "FTP Username is required.";
    }
    if (s.Remote.Password.empty()) {
        message = "FTP Password is required.";
    }
    if (s.remoteTemplates.empty()) {
        message = "FTP Remote Filename is not specified.";
    }
    if (s.FTP.ConfirmRemote && unchecked(s.remoteTemplates)) {
        message = "No Remote File has been selected.";
    }
    if (s.FTP.ConfirmLocal && s.localTemplates.empty()) {
        message = "Local Filename is not specified.";
    }
    if (s.FTP.ConfirmLocal && unchecked(s.localTemplates)) {
        message = "No Local File has been selected.";
    }
    return message;
}

} // namespace kestrelon
