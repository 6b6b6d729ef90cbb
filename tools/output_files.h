#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// One file that kavrel-render writes. A regular file (or one not there yet)
// is written beside its target and renamed over it only by a commit that
// found every byte written, so a failure leaves what was there before. A
// device or a pipe cannot be replaced that way: it is written in place, as a
// stream. Nothing is written before open(); an uncommitted file's temporary
// copy goes with the object, and with the program where an interrupt or a
// termination signal ends it.
class OutputFile {
public:
    explicit OutputFile(std::string path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool open();
    // Takes all of the bytes or fails; after a failure every call fails.
    bool write(const void* data, std::size_t size);
    // Where the next byte goes, and a move there, for formats that go back
    // to fill in what they could not know before (an EXR's line offsets).
    // A pipe cannot go back: seek fails it.
    std::uint64_t position() const { return written_ + buffer_.size(); }
    bool seek(std::uint64_t position);
    // Writes out what is buffered and closes: after it only the commit is
    // left, which cannot run out of space.
    bool finish();
    // Finishes if need be, and puts the file in place.
    bool commit();

    const std::string& path() const { return path_; }
    // The copy beside the target while the file is open, for a program that
    // writes the file's bytes itself, by name (an encoder that goes back to
    // fill in its header): the commit puts whatever it wrote in place. Empty
    // for a device or a pipe, which is written in place.
    const std::string& temporaryPath() const { return temporary_; }
    bool failed() const { return !error_.empty(); }
    // Why the file could not be written, as the system put it.
    const std::string& error() const { return error_; }
    // Gives the file up, keeping the first reason; returns false.
    bool fail(int errorNumber);
    bool fail(std::string reason);

private:
    bool flushBuffer();
    void discard();

    std::string path_, target_, temporary_;
    int fd_ = -1;
    int cleanupSlot_ = -1;
    bool committed_ = false;
    std::vector<unsigned char> buffer_;
    std::uint64_t written_ = 0;  // where the buffer goes in the file
    std::string error_;
};

// Fills one row of pixels, y counting from the top.
using RgbRows = std::function<void(int y, std::uint8_t* rgb)>;          // 3 bytes a pixel
using GrayRows = std::function<void(int y, std::uint16_t* values)>;     // 1 value a pixel
using TextChunks = std::vector<std::pair<std::string, std::string>>;   // keyword, text

// An 8-bit RGB PNG, row by row, with the text chunks after its header; false
// when the file failed (see file.error()). Does not commit.
bool writePng(OutputFile& file, int width, int height, const RgbRows& rows, const TextChunks& text);

// A picture whose pixels are entries of a colour table (0x00BBGGRR) picked by
// `indices`, width x height of them row by row. Written as an 8-bit palette
// PNG of the colours it shows when there are at most 256 of them (a third of
// the bytes to compress), as RGB otherwise; both decode to the same pixels.
// An index past the table fails the file. `rowDone` runs after each row is
// written. Does not commit.
struct IndexedPicture {
    int width = 0, height = 0;
    const std::uint16_t* indices = nullptr;
    const std::uint32_t* colours = nullptr;
    std::size_t colourCount = 0;
};
bool writePng(OutputFile& file, const IndexedPicture& picture, const TextChunks& text,
              const std::function<void()>& rowDone = {});

// A binary PGM of 16-bit values up to maxval, row by row. Does not commit.
bool writePgm(OutputFile& file, int width, int height, int maxval, const GrayRows& rows);

// What a PNG file says of itself before its pixels: its size and its text
// chunks. Nothing when it cannot be read as a PNG; *error then says why.
struct PngInfo {
    int width = 0, height = 0;
    TextChunks text;
};
std::optional<PngInfo> readPngInfo(const std::string& path, std::string* error);
