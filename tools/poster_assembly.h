#pragma once

#include "tools/render_options.h"

// --assemble-poster DIR --output FILE: the complete folder of a poster's
// tiles joined by libvips into a Deep Zoom pyramid (FILE.dzi and FILE_files,
// with poster.html beside them to view it), a pyramidal BigTIFF or a PNG.
// A missing or foreign tile fails it, naming the tile. Returns the exit
// status.
int assemblePoster(const RenderOptions& options);
