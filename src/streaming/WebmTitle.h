#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrelon {

// The clip title in the stream's header, as its plain text.
//
// GStreamer's WebM muxer writes a title tag in its own serialised form: a title with blanks or
// non-ASCII characters comes out quoted and escaped ("Spike\ clip"), and players other than
// GStreamer show it like that. So the muxer is given a stand-in of the same byte length made of
// characters it writes as they are, and the stand-in is then overwritten in the header with the
// title's own bytes. The lengths stay, so nothing else in the header moves. Any thread.

// The stand-in for a title: as many bytes as the title has in UTF-8.
std::string titleStandIn(std::string_view utf8Title);

// Finds the title tag (TagName "TITLE", then a TagString holding exactly standIn) in one block
// of header bytes and overwrites the stand-in with utf8Title (the same length). True when it
// was there.
bool replaceTitleStandIn(uint8_t* data, size_t size, std::string_view standIn, std::string_view utf8Title);

} // namespace kestrelon
