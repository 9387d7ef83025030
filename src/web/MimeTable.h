#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

namespace kestrelon {

// Maps file extensions (lower case, with the leading dot) to content types. Built once at
// start-up from the built-in rows and then the system's registrations; read-only afterwards,
// so any thread may read it without a lock.
class MimeTable {
public:
    // The built-in rows, then each registration in mimeTypesFile replaces or adds a row.
    // A missing file leaves the built-in rows alone.
    explicit MimeTable(const std::string& mimeTypesFile = "/etc/mime.types");

    // The content type for a file name, from the extension after its last "." that follows the
    // last "/"; "application/octet-stream" when the name has no extension or it is unknown.
    std::string GetMIMEType(std::string_view fileName) const;

    size_t size() const { return m_types.size(); }

private:
    void loadRegistrations(const std::string& file);
    std::unordered_map<std::string, std::string> m_types;
};

} // namespace kestrelon
