#pragma once

#include <QString>

#include <cstdint>
#include <string>

#include "tools/poster_tiles.h"

// Readies a poster's folder for tile `index`: makes the folder and its
// manifest where they are missing, and refuses a folder made for another
// poster. Status 0 and no message when the tile is to be drawn; 0 with
// *complete set when it is there already, complete; else the exit status
// (1 for a folder that cannot be made or written, 2 for another poster's)
// and why.
struct FolderCheck {
    int status = 0;
    std::string message;
};
FolderCheck preparePosterFolder(const QString& folder, const PosterPlan& plan, std::int64_t index, bool* complete);

// The folder's manifest, read; nothing where there is none or it is not
// one (*error says which).
std::optional<PosterPlan> readPosterFolder(const QString& folder, std::string* error);
