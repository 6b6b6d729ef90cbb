// Any bytes as a palette file (--palette). Either the text is refused with
// one line that names what is wrong, or it is 500 lines that read back, by
// a reading of the format of its own, as exactly the entries stored.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "engine/palette.h"
#include "fuzz/check.h"

namespace {

// The entries the lines give, or none where a line is not three whole
// numbers from 0 to 255 separated by blanks.
std::vector<std::uint32_t> reading(std::string text)
{
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    std::vector<std::uint32_t> entries;
    std::stringstream lines(text);
    std::string line;
    while (std::getline(lines, line, '\n')) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        for (const char ch : line)
            if (!(ch == ' ' || ch == '\t' || (ch >= '0' && ch <= '9')))
                return {};
        std::stringstream numbers(line);
        std::vector<std::string> parts;
        for (std::string part; numbers >> part;)
            parts.push_back(part);
        if (parts.size() != 3)
            return {};
        std::uint32_t entry = 0;
        for (int c = 0; c < 3; ++c) {
            if (parts[c].size() > 3 || std::stoi(parts[c]) > 255)
                return {};
            entry |= static_cast<std::uint32_t>(std::stoi(parts[c])) << (8 * c);
        }
        entries.push_back(entry);
    }
    if (!text.empty() && text.back() == '\n')
        entries.clear();  // an empty last line
    return entries;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::uint32_t> entries(kPaletteSize, 0xFF000000u);
    const std::string error = readPaletteText(text, entries.data());
    const std::vector<std::uint32_t> want = reading(text);
    if (error.empty()) {
        FUZZ_CHECK(want.size() == static_cast<std::size_t>(kPaletteSize), "accepted, but %zu lines read", want.size());
        FUZZ_CHECK(entries == want, "the entries differ from the lines");
    } else {
        FUZZ_CHECK(want.size() != static_cast<std::size_t>(kPaletteSize), "refused a palette: %s", error.c_str());
        FUZZ_CHECK(error.find('\n') == std::string::npos && error.size() < 200, "message '%s'", error.c_str());
    }
    return 0;
}
