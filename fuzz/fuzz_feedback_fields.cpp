// libFuzzer target: the feedback form's record and mail body. Input: the form's fields, separated
// by NUL bytes. Whatever a sender types, the record keeps its own frame: its header lines, every
// line break as CR LF, the fields' further lines indented, and no line of hyphens but the closing
// rule, so no field can pass for the end of a record or the start of the next.
#include "FuzzCheck.h"
#include "web/FeedbackForm.h"

#include <string>
#include <vector>

using namespace kestrelon;
using kestrelon::fuzz::check;

namespace {

constexpr const char* kStamp = "Tue 09 Dec 2026 10:15:02";
constexpr const char* kAddressLine = "Sender's IP address was: 192.0.2.1";

bool onlyHyphens(std::string_view line)
{
    return !line.empty() && line.find_first_not_of('-') == std::string_view::npos;
}

// The lines between the header and the closing rule: one first line per field, the rest indented.
void checkFieldLines(const std::vector<std::string_view>& lines, size_t first, size_t end, size_t fields)
{
    size_t unindented = 0;
    for (size_t i = first; i < end; ++i) {
        check(!onlyHyphens(lines[i]));
        unindented += !lines[i].starts_with('\t');
    }
    check(unindented <= fields && end - first >= fields);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> fields;
    std::string_view input(reinterpret_cast<const char*>(data), size);
    for (size_t nul; (nul = input.find('\0')) != std::string_view::npos; input.remove_prefix(nul + 1)) {
        fields.emplace_back(input.substr(0, nul));
    }
    fields.emplace_back(input);

    const std::string record = FeedbackForm::fileRecord(kStamp, "192.0.2.1", fields);
    check(kestrelon::fuzz::onlyCrLf(record) && record.ends_with("\r\n\r\n"));
    const auto lines = kestrelon::fuzz::crLfLines(record);
    check(lines.size() >= 5 && lines[0] == kStamp && lines[1] == kAddressLine && lines[2] == " ");
    check(lines[lines.size() - 2] == std::string(42, '-') && lines.back().empty());
    checkFieldLines(lines, 3, lines.size() - 2, fields.size());

    const std::string body = FeedbackForm::mailBody(kStamp, "192.0.2.1", fields);
    check(kestrelon::fuzz::onlyCrLf(body));
    const auto bodyLines = kestrelon::fuzz::crLfLines(body);
    check(bodyLines.size() >= 3 && bodyLines[0] == kStamp && bodyLines[1] == kAddressLine);
    check(bodyLines.back() == std::string(35, '-'));
    checkFieldLines(bodyLines, 2, bodyLines.size() - 1, fields.size());
    return 0;
}
