// Any text through the palette's string loader. The input is cut at 0xFF
// bytes into the strings 100, 200, ... 500; an empty or absent piece is a
// string that fails to load. The parse is checked against a reading of the
// line format of its own: entries stored only at 0..499 and exactly as the
// lines say, one alert per missing string and one per line past the 500th.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/fatal.h"
#include "engine/palette.h"
#include "fuzz/check.h"

namespace {

constexpr int kCapacity = 2000;  // what loadColors offers the loader
constexpr std::uint32_t kUntouched = 0xFF000000u;  // no parsed entry has a top byte

std::vector<std::string> alerts;
void recordAlert(const char* msg) { alerts.emplace_back(msg); }

std::vector<std::string> splitStrings(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> strings(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0xFF)
            strings.emplace_back();
        else
            strings.back() += static_cast<char>(data[i]);
    }
    strings.resize(5);
    return strings;
}

// The text the parser sees of a string: what the loader copies, up to its
// first zero.
std::string seen(const std::string& s)
{
    const std::string copied = s.substr(0, kCapacity - 1);
    return copied.substr(0, copied.find('\0'));
}

// A line read as the format says: numbers separated by runs of spaces, the
// first three characters of each of the first three numbers, decimal, low
// eight bits.
std::uint32_t entryOf(const std::string& line)
{
    std::vector<std::string> numbers;
    std::size_t at = 0;
    while (numbers.size() < 3) {
        at = line.find_first_not_of(' ', at);
        if (at == std::string::npos)
            break;
        const std::size_t end = std::min(line.find(' ', at), line.size());
        numbers.push_back(line.substr(at, std::min<std::size_t>(end - at, 3)));
        at = end;
    }
    numbers.resize(3);
    std::uint32_t entry = 0;
    for (int c = 0; c < 3; ++c)
        entry |= static_cast<std::uint32_t>(std::strtol(numbers[c].c_str(), nullptr, 10) & 0xFF) << (8 * c);
    return entry;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::string> strings = splitStrings(data, size);
    std::fill(std::begin(gColorList), std::end(gColorList), kUntouched);
    alerts.clear();
    setFatalHandler(recordAlert);
    loadColors([&](int id, char* buffer, int capacity) {
        const std::string& s = strings.at(static_cast<std::size_t>(id / 100 - 1));
        const int n = std::min(static_cast<int>(s.size()), capacity - 1);
        std::memcpy(buffer, s.data(), static_cast<std::size_t>(n));
        buffer[n] = '\0';
        return n;
    });
    setFatalHandler(nullptr);

    // The whole text the parser reads; its state runs on across strings.
    std::string text;
    long missing = 0;
    for (const std::string& s : strings) {
        missing += s.empty();
        text += seen(s);
    }
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    const long surplus = std::max(0L, static_cast<long>(lines.size()) - 500);

    FUZZ_CHECK(std::count(alerts.begin(), alerts.end(), "couldn't load color string resource") == missing,
               "%ld strings failed to load", missing);
    FUZZ_CHECK(std::count(alerts.begin(), alerts.end(), "color array out of bounds") == surplus,
               "%zu lines", lines.size());
    FUZZ_CHECK(static_cast<long>(alerts.size()) == missing + surplus, "%zu alerts in all", alerts.size());
    for (std::size_t i = 0; i < 500; ++i) {
        const std::uint32_t expected = i < lines.size() ? entryOf(lines[i]) : kUntouched;
        FUZZ_CHECK(gColorList[i] == expected, "entry %zu is 0x%08X, its line says 0x%08X", i,
                   static_cast<unsigned>(gColorList[i]), static_cast<unsigned>(expected));
    }
    return 0;
}
