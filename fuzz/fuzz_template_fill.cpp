// libFuzzer target: the template fill and the remote file name. Input: the template text, a NUL,
// the remote file name. Every line comes out ended by CR LF, no token is left once an address is
// filled in, and filling the token itself in gives a text the fill leaves as it is.
#include "FuzzCheck.h"
#include "iprefresh/Templates.h"

#include <algorithm>
#include <cctype>
#include <string>

using namespace kestrelon;
using kestrelon::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto parts = kestrelon::fuzz::splitInput(data, size, 2);
    const std::string_view text = parts[0];

    const std::string filled = fillTemplate(text, "192.0.2.1");
    check(text.empty() == filled.empty());
    check(filled.empty() || filled.ends_with("\r\n"));
    // A line break in the output is one the template had, as CR LF.
    const size_t breaks = std::count(filled.begin(), filled.end(), '\n');
    check(breaks == static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) +
                        (text.empty() || text.back() == '\n' ? 0 : 1));
    for (size_t i = 0; i < filled.size(); ++i) {
        check(filled[i] != '\n' || filled[i - 1] == '\r');
    }
    std::string lower(filled);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    check(lower.find("{ip}") == std::string::npos);

    const std::string same = fillTemplate(text, "{IP}");
    check(fillTemplate(same, "{IP}") == same);

    const std::string name = remoteName(parts[1]);
    check(name.find_first_of("\\:") == std::string::npos && parts[1].ends_with(name));
    return 0;
}
