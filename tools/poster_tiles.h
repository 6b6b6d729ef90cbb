#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/frame_spec.h"
#include "engine/geometry.h"
#include "tools/output_files.h"
#include "tools/render_command.h"

// A poster: one frame cut into C x R tiles, each drawn by a job of its own
// and joined afterwards. Tile i is column i % C of row i / C, from the top
// left; column c spans pixels floor(W c / C) to floor(W (c + 1) / C), rows
// likewise, so that tiles differ by a pixel at most. Each is drawn as a part
// of the whole frame (FrameCanvas::wanted): its pixels are the frame's.
struct TileGrid {
    int columns = 1, rows = 1;
    std::int64_t count() const { return std::int64_t{columns} * rows; }
};

// The largest side of a poster's frame, the most tiles, and the largest
// side of one tile (a frame of one process).
constexpr int kLargestPosterSide = 1 << 20;
constexpr std::int64_t kMostTiles = 1'000'000;
constexpr int kLargestTileSide = 32767;

tagRECT tileRect(int width, int height, const TileGrid& grid, std::int64_t index);

// The tile's file in a poster's folder, and the folder's manifest.
std::string tileFile(std::int64_t index);
constexpr const char* kPosterManifestFile = "kavrel-poster.txt";

// What a poster's folder holds: the command line of its frame and look,
// its size and its tiles. The manifest is one "key value" line each.
struct PosterPlan {
    std::string command;  // renderCommandLine of the frame, without an output
    int width = 0, height = 0;
    TileGrid grid;
};
PosterPlan posterPlan(const FrameSpec& frame, const PictureLook& look, const TileGrid& grid);
std::string posterManifest(const PosterPlan& plan);
std::optional<PosterPlan> readPosterManifest(const std::string& text, std::string* error);

// The text chunks that a tile carries besides the frame's own: which tile
// of which grid it is, and where.
TextChunks tileText(const PosterPlan& plan, std::int64_t index);

// Why the file at `path` is not tile `index` of the poster, complete ("" when
// it is): missing, not a PNG, of another size, or made for another frame or
// another place in it.
std::string tileProblem(const std::string& path, const PosterPlan& plan, std::int64_t index);
