#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>

// H.264 in MP4 from frames of 8-bit sRGB, encoded by the ffmpeg program
// through a pipe: the encoder's settings and colour tags are one argument
// list, a failed encode shows as its exit status, and nothing links against
// libraries whose interfaces change from release to release.
// yuv420p in the BT.709 matrix at limited range, tagged BT.709 throughout.
// ffmpeg writes the file through the one descriptor it opens: a copy that
// the caller removes, because this program failed or was ended, takes
// whatever ffmpeg still writes with it. (Moving the index to the front,
// -movflags +faststart, would open the file again by its name and bring a
// removed copy back.)
class VideoEncoder {
public:
    VideoEncoder() = default;
    ~VideoEncoder();
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    // Starts ffmpeg writing `path` (replacing what is there), the video's
    // metadata carrying `comment`.
    bool start(const std::string& path, int width, int height, int fps, const std::string& comment);
    // One frame: width x height x 3 bytes, rows from the top.
    bool write(const std::uint8_t* rgb);
    // Closes the pipe and waits: true where ffmpeg wrote the whole video.
    bool finish();
    const std::string& error() const { return error_; }

private:
    bool fail(std::string why);

    pid_t pid_ = -1;
    int pipe_ = -1;
    std::size_t frameBytes_ = 0;
    std::string error_;
};
