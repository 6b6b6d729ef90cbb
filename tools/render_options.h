#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

#include "engine/colouring.h"
#include "engine/frame_spec.h"

// A zoom video (--zoom-video, --keyframes): what to make of the frame.
struct VideoOptions {
    // Orbit: the deepest keyframe's reference orbit into a file (--keyframes
    // with --make-orbit), for keyframe jobs' --orbit.
    enum class Mode { None, Video, Keyframes, Assemble, Orbit };
    Mode mode = Mode::None;
    QString video;      // --zoom-video
    QString keyframes;  // --keyframes, or the folder beside the video
    QString zoomFrom = QStringLiteral("2");
    int fps = 30;
    double secondsPerDoubling = 1.0;
    int first = 0, last = -1;  // --only-keyframes A-B; -1: to the last
};

// A poster's tile (--tiles, --tile into the folder --output), a deep
// frame's reference orbit made once (--make-orbit) and read by every tile
// (--orbit), and the joining of a poster's tiles (--assemble-poster, into
// --output).
struct PosterOptions {
    int columns = 0, rows = 0;  // --tiles CxR; 0 when no tile is drawn
    std::int64_t tile = -1;
    QString folder;
    QString orbit;
    QString makeOrbit;
    QString assemble;
    bool tiled() const { return columns > 0; }
};

// What kavrel-render was asked to draw, and where to.
struct RenderOptions {
    // --view, or --center and --radius (their numbers kept as typed); the
    // limit is --iters, or the automatic one of the view and size.
    FrameSpec frame;
    bool autoIters = true;
    int threads = 1;
    QString output;
    QString indices;
    QString counts;  // .npy of escape counts
    QString exr;     // OpenEXR of counts, fractions and distances
    Colouring colouring = Colouring::Curve;
    double density = 1.0;  // of the smooth colouring
    QString palette;       // --palette as given, and its entries; the built-in one when empty
    std::vector<std::uint32_t> paletteEntries;
    int supersample = 1;   // K: each pixel the mean of K x K samples
    bool stats = false;
    VideoOptions video;
    PosterOptions poster;
};

enum class ParseResult { Ok, Help, Error };

// The text with its line breaks shown as escapes ("\n", "\u2028"): an error
// message stays one line whatever the arguments it quotes hold.
QString oneLine(const QString& text);

// Parses the arguments (the program name first). On Error, *message is one
// line naming the option and what is wrong with it; on Help, the usage or the
// version text to print.
ParseResult parseRenderOptions(const QStringList& arguments, RenderOptions* options, QString* message);
