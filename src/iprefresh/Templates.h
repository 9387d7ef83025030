#pragma once

#include <string>
#include <string_view>

// Template files: text in which the token "{IP}" (in any letter case) stands where the address
// belongs. Any thread.

namespace kestrelon {

// Every "{IP}" of every line replaced by the address; each line (ended by CR LF or LF in the
// template) is written with CR LF. A template without a token is copied line by line; an empty
// one gives the empty text. Pure.
std::string fillTemplate(std::string_view text, std::string_view address);

// Fills the template file into the target file (Makefile / MakeLocalFile). The target is
// replaced in one step, so a reader never sees half a file and a template that cannot be read
// leaves the old target whole. Returns the empty text, or what failed.
std::string fillTemplateFile(const std::string& templateFile, const std::string& targetFile,
                             std::string_view address);

// The name a remote file is stored under: the part after its last "\" or ":". A name written
// with "/" reaches the server whole, as a path.
std::string remoteName(std::string_view remoteFile);

} // namespace kestrelon
