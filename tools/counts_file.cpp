#include "tools/counts_file.h"

#include <string>
#include <vector>

bool writeNpy(OutputFile& file, int width, int height, const CountRows& rows)
{
    std::string header = "{'descr': '<u4', 'fortran_order': False, 'shape': (" + std::to_string(height) + ", " +
                         std::to_string(width) + "), }";
    // magic (6) + version (2) + length (2) + header + '\n', to a multiple of 64
    const std::size_t unpadded = 10 + header.size() + 1;
    header.append((64 - unpadded % 64) % 64, ' ');
    header.push_back('\n');
    std::string start("\x93NUMPY\x01\x00", 8);
    start.push_back(static_cast<char>(header.size() & 0xFF));
    start.push_back(static_cast<char>(header.size() >> 8));
    start += header;
    if (!file.write(start.data(), start.size()))
        return false;
    std::vector<std::uint32_t> row(static_cast<std::size_t>(width));
    std::vector<unsigned char> bytes(row.size() * 4);
    for (int y = 0; y < height; ++y) {
        rows(y, row.data());
        for (std::size_t x = 0; x < row.size(); ++x)
            for (int b = 0; b < 4; ++b)
                bytes[4 * x + b] = static_cast<unsigned char>(row[x] >> (8 * b));
        if (!file.write(bytes.data(), bytes.size()))
            return false;
    }
    return true;
}
