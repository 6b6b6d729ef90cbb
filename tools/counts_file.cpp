#include "tools/counts_file.h"

#include <QString>

QByteArray npyCounts(const std::vector<std::int32_t>& counts, int side)
{
    QByteArray header = QStringLiteral("{'descr': '<u4', 'fortran_order': False, 'shape': (%1, %1), }").arg(side).toLatin1();
    // magic (6) + version (2) + length (2) + header + '\n', to a multiple of 64
    const qsizetype unpadded = 10 + header.size() + 1;
    header.append(QByteArray((64 - unpadded % 64) % 64, ' '));
    header.append('\n');
    QByteArray data("\x93NUMPY\x01\x00", 8);
    data.append(static_cast<char>(header.size() & 0xFF));
    data.append(static_cast<char>(header.size() >> 8));
    data.append(header);
    data.reserve(data.size() + static_cast<qsizetype>(counts.size()) * 4);
    for (const std::int32_t count : counts) {
        const auto v = static_cast<std::uint32_t>(count);
        for (int shift = 0; shift < 32; shift += 8)
            data.append(static_cast<char>((v >> shift) & 0xFF));
    }
    return data;
}
