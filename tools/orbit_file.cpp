#include "tools/orbit_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/output_files.h"

bool writeOrbitFile(const std::string& path, const DeepFrame& frame, std::string* error)
{
    OutputFile out(path);
    const bool written =
        out.open() && frame.save([&](const void* data, std::size_t size) { return out.write(data, size); }) &&
        out.commit();
    if (!written)
        *error = out.error();
    return written;
}

std::unique_ptr<const DeepFrame> readOrbitFile(const std::string& path, const FrameSpec& frame, std::string* error)
{
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (!in) {
        *error = std::strerror(errno);
        return nullptr;
    }
    int readError = 0;
    std::unique_ptr<const DeepFrame> deep = DeepFrame::load(
        frame,
        [&](void* data, std::size_t size) {
            if (std::fread(data, 1, size, in) == size)
                return true;
            if (std::ferror(in))
                readError = errno;
            return false;
        },
        error);
    std::fclose(in);
    if (!deep && readError != 0)
        *error = std::strerror(readError);
    return deep;
}
