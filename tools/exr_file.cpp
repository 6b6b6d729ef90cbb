#include "tools/exr_file.h"

#include <ImfChannelList.h>
#include <ImfCompression.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfIO.h>
#include <ImfIntAttribute.h>
#include <ImfOutputFile.h>
#include <ImfStringAttribute.h>
#include <ImfThreading.h>

#include <stdexcept>
#include <vector>

namespace {

// OpenEXR's stream over an OutputFile: it goes back to fill in the line
// offsets once the lines are written.
class FileStream final : public Imf::OStream {
public:
    explicit FileStream(OutputFile& file) : Imf::OStream(file.path().c_str()), file_(file) {}
    void write(const char c[], int n) override
    {
        if (!file_.write(c, static_cast<std::size_t>(n)))
            throw std::runtime_error(file_.error());
    }
    std::uint64_t tellp() override { return file_.position(); }
    void seekp(std::uint64_t pos) override
    {
        if (!file_.seek(pos))
            throw std::runtime_error(file_.error());
    }

private:
    OutputFile& file_;
};

} // namespace

bool writeExr(OutputFile& file, const ExrRows& rows, const TextChunks& text)
{
    try {
        Imf::setGlobalThreadCount(0);
        Imf::Header header(rows.width, rows.height);
        header.compression() = Imf::ZIP_COMPRESSION;
        header.channels().insert("N", Imf::Channel(Imf::UINT));
        header.channels().insert("NF", Imf::Channel(Imf::FLOAT));
        header.channels().insert("DE", Imf::Channel(Imf::FLOAT));
        header.insert("Iterations", Imf::IntAttribute(rows.maxIters));
        header.insert("IterationsBias", Imf::IntAttribute(kExrIterationsBias));
        for (const auto& [key, value] : text)
            header.insert(key, Imf::StringAttribute(value));
        FileStream stream(file);
        Imf::OutputFile exr(stream, header);
        std::vector<std::uint32_t> n(static_cast<std::size_t>(rows.width));
        std::vector<float> nf(n.size()), de(n.size());
        for (int y = 0; y < rows.height; ++y) {
            rows.row(y, n.data(), nf.data(), de.data());
            const Imath::V2i origin(0, y);
            Imf::FrameBuffer line;
            line.insert("N", Imf::Slice::Make(Imf::UINT, n.data(), origin, rows.width, 1));
            line.insert("NF", Imf::Slice::Make(Imf::FLOAT, nf.data(), origin, rows.width, 1));
            line.insert("DE", Imf::Slice::Make(Imf::FLOAT, de.data(), origin, rows.width, 1));
            exr.setFrameBuffer(line);
            exr.writePixels(1);
        }
    } catch (const std::exception& e) {
        if (!file.failed())
            file.fail(std::string(e.what()));
        return false;
    }
    return !file.failed();
}
