#include "tools/poster_tiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <sys/stat.h>

namespace {

int cut(int extent, int parts, std::int64_t i)
{
    return static_cast<int>(std::int64_t{extent} * i / parts);
}

const std::string* findText(const TextChunks& text, const std::string& key)
{
    for (const auto& [k, v] : text)
        if (k == key)
            return &v;
    return nullptr;
}

} // namespace

tagRECT tileRect(int width, int height, const TileGrid& grid, std::int64_t index)
{
    const std::int64_t column = index % grid.columns, row = index / grid.columns;
    return {cut(width, grid.columns, column), cut(height, grid.rows, row), cut(width, grid.columns, column + 1),
            cut(height, grid.rows, row + 1)};
}

std::string tileFile(std::int64_t index)
{
    char name[32];
    std::snprintf(name, sizeof name, "tile-%06lld.png", static_cast<long long>(index));
    return name;
}

PosterPlan posterPlan(const FrameSpec& frame, const PictureLook& look, const TileGrid& grid)
{
    return {renderCommandLine(frame, look, ""), frame.width, frame.height, grid};
}

std::string posterManifest(const PosterPlan& p)
{
    return "kavrel-render poster tiles\ncommand " + p.command + "\nsize " + std::to_string(p.width) + "x" +
           std::to_string(p.height) + "\ntiles " + std::to_string(p.grid.columns) + "x" +
           std::to_string(p.grid.rows) + "\n";
}

std::optional<PosterPlan> readPosterManifest(const std::string& text, std::string* error)
{
    std::istringstream in(text);
    std::string head, command, size, tiles;
    PosterPlan p;
    const auto pair = [](const std::string& line, const char* key, int& a, int& b) {
        char x = 0, rest = 0;
        return line.rfind(key, 0) == 0 &&
               std::sscanf(line.c_str() + std::char_traits<char>::length(key), "%d%c%d%c", &a, &x, &b, &rest) == 3 &&
               x == 'x';
    };
    if (!std::getline(in, head) || head != "kavrel-render poster tiles" || !std::getline(in, command) ||
        command.rfind("command ", 0) != 0 || !std::getline(in, size) || !std::getline(in, tiles) ||
        !pair(size, "size ", p.width, p.height) || !pair(tiles, "tiles ", p.grid.columns, p.grid.rows)) {
        *error = "not a poster's manifest";
        return std::nullopt;
    }
    p.command = command.substr(8);
    if (p.width < 1 || p.height < 1 || p.width > kLargestPosterSide || p.height > kLargestPosterSide ||
        p.grid.columns < 1 || p.grid.rows < 1 || p.grid.columns > p.width || p.grid.rows > p.height ||
        p.grid.count() > kMostTiles) {
        *error = "a poster's size or tiles out of range";
        return std::nullopt;
    }
    // Whatever was read must write back as it stands.
    if (posterManifest(p) != text) {
        *error = "lines this program does not write";
        return std::nullopt;
    }
    return p;
}

TextChunks tileText(const PosterPlan& plan, std::int64_t index)
{
    const tagRECT r = tileRect(plan.width, plan.height, plan.grid, index);
    return {{"Tile", std::to_string(index) + " of " + std::to_string(plan.grid.columns) + "x" +
                         std::to_string(plan.grid.rows) + " at " + std::to_string(r.left) + "," +
                         std::to_string(r.top)}};
}

std::string tileProblem(const std::string& path, const PosterPlan& plan, std::int64_t index)
{
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT ? "missing" : std::string("cannot be read: ") + std::strerror(errno);
    std::string error;
    const std::optional<PngInfo> info = readPngInfo(path, &error);
    if (!info)
        return error;
    const tagRECT r = tileRect(plan.width, plan.height, plan.grid, index);
    if (info->width != r.right - r.left || info->height != r.bottom - r.top)
        return "is " + std::to_string(info->width) + "x" + std::to_string(info->height) + ", not " +
               std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top);
    const std::string* command = findText(info->text, "Command");
    if (!command || *command != plan.command)
        return "was drawn by another command: " + (command ? *command : std::string("(none)"));
    const std::string* tile = findText(info->text, "Tile");
    if (!tile || *tile != tileText(plan, index).front().second)
        return "is another tile: " + (tile ? *tile : std::string("(none)"));
    return {};
}
