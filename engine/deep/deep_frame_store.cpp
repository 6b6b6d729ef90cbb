// A deep frame's orbits and bilinear steps as bytes: what one job computes
// and the tiles of a poster read.
//
// The layout, in the machine's own byte order (a marker says which): a
// header line, the identity of the view and limit, the precision and the
// centre's offset, each orbit's points, the bounds the bilinear steps were
// built for and the steps of each orbit; last a 64-bit FNV-1a hash of all
// that comes before it.
#include "engine/deep/deep_frame.h"

#include <cstring>
#include <limits>
#include <type_traits>

namespace {

constexpr char kHeader[] = "kavrel deep orbit 3\n";
constexpr std::uint32_t kByteOrder = 0x01020304;

class Hash {
public:
    void add(const void* data, std::size_t size)
    {
        const auto* p = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < size; ++i)
            h_ = (h_ ^ p[i]) * 0x100000001b3ULL;
    }
    std::uint64_t value() const { return h_; }

private:
    std::uint64_t h_ = 0xcbf29ce484222325ULL;
};

struct Out {
    const DeepFrame::ByteWriter& write;
    Hash hash;
    bool ok = true;

    void bytes(const void* data, std::size_t size)
    {
        if (ok && size > 0) {
            hash.add(data, size);
            ok = write(data, size);
        }
    }
    template <class T>
    void value(const T& v)
    {
        static_assert(std::is_trivially_copyable_v<T>);
        bytes(&v, sizeof v);
    }
    template <class T>
    void vector(const std::vector<T>& v)
    {
        value(static_cast<std::uint64_t>(v.size()));
        bytes(v.data(), v.size() * sizeof(T));
    }
    void text(const std::string& s)
    {
        value(static_cast<std::uint64_t>(s.size()));
        bytes(s.data(), s.size());
    }
};

struct In {
    const DeepFrame::ByteReader& read;
    Hash hash;
    bool ok = true;

    void bytes(void* data, std::size_t size)
    {
        if (ok && size > 0) {
            ok = read(data, size);
            if (ok)
                hash.add(data, size);
        }
    }
    template <class T>
    T value()
    {
        T v{};
        bytes(&v, sizeof v);
        return v;
    }
    // A vector of at most `most` elements.
    template <class T>
    std::vector<T> vector(std::uint64_t most)
    {
        const auto size = value<std::uint64_t>();
        if (!ok || size > most) {
            ok = false;
            return {};
        }
        std::vector<T> v(static_cast<std::size_t>(size));
        bytes(v.data(), v.size() * sizeof(T));
        return v;
    }
    std::string text(std::uint64_t most)
    {
        const std::vector<char> chars = vector<char>(most);
        return std::string(chars.begin(), chars.end());
    }
};

// What the saved orbits are for: the view and the limit, not the size.
std::string identity(const FrameSpec& f)
{
    const DeepView& v = f.deepView();
    std::string id = "center " + v.re + "," + v.im + " radius " + v.radius + " set " +
                     (f.julia() ? "julia" : "mandelbrot") + " power " + std::to_string(integerPower(f.func));
    if (f.julia())
        id += " c " + f.c.reText + "," + f.c.imText;
    return id + " iters " + std::to_string(f.maxIters);
}

void saveOrbit(Out& out, const ReferenceOrbit& o)
{
    out.vector(o.z);
    out.vector(o.zx);
    out.vector(o.excess);
    out.vector(o.rest);
}

bool finite(const Cx& z) { return std::isfinite(z.re) && std::isfinite(z.im); }

// An exponent no orbit point or offset comes near (their precision is at
// most some 3.4 million bits): the arithmetic on it cannot overflow.
constexpr std::int64_t kMostExponent = std::int64_t{1} << 30;

bool sound(const CxExp& z)
{
    return std::isfinite(z.re) && std::isfinite(z.im) && z.e > -kMostExponent && z.e < kMostExponent;
}

bool loadOrbit(In& in, ReferenceOrbit& o, std::uint64_t most)
{
    o.z = in.vector<Cx>(most);
    o.zx = in.vector<CxExp>(most);
    o.excess = in.vector<double>(most);
    o.rest = in.vector<Cx>(most);
    if (!in.ok || o.zx.size() != o.z.size() || o.excess.size() != o.z.size() || o.rest.size() != o.z.size())
        return false;
    for (std::size_t i = 0; i < o.z.size(); ++i)
        if (!finite(o.z[i]) || !sound(o.zx[i]) || std::isnan(o.excess[i]) || !finite(o.rest[i]))
            return false;
    return true;
}

} // namespace

struct BlaTableStore {
    static void save(Out& out, const BlaTable& t)
    {
        out.vector(t.steps_);
        out.vector(t.first_);
        out.vector(t.forLanes_);
        out.vector(t.shortest2_);
        out.vector(t.lanes2_);
    }
    // The steps of an orbit of `points` points, checked so that no lookup
    // reads outside them.
    static bool load(In& in, BlaTable& t, std::size_t points)
    {
        // No more than the orbit's points allow: a length field cannot ask
        // for memory that the orbit does not justify.
        t.steps_ = in.vector<BlaStep>(2 * static_cast<std::uint64_t>(points) + 2);
        t.first_ = in.vector<std::uint32_t>(static_cast<std::uint64_t>(points) + 1);
        t.forLanes_ = in.vector<std::uint32_t>(points);
        t.shortest2_ = in.vector<double>(points);
        t.lanes2_ = in.vector<double>(points);
        if (!in.ok)
            return false;
        if (t.steps_.empty() && t.first_.empty() && t.forLanes_.empty() && t.shortest2_.empty() && t.lanes2_.empty())
            return true;
        if (t.first_.size() < t.shortest2_.size() + 1 || t.first_.size() > points + 1 || t.first_.front() != 0 ||
            t.first_.back() != t.steps_.size() || t.forLanes_.size() != t.shortest2_.size() ||
            t.lanes2_.size() != t.shortest2_.size())
            return false;
        for (std::size_t i = 1; i < t.first_.size(); ++i)
            if (t.first_[i] < t.first_[i - 1])
                return false;
        for (const BlaStep& s : t.steps_)
            if (!(s.r >= 0.0) || !(s.r2 >= 0.0) || s.len < 2 || !finite(s.A) || !finite(s.B))
                return false;
        for (std::size_t m = 0; m < t.shortest2_.size(); ++m) {
            // A step from m must end at a point of the orbit, its last at most.
            for (std::uint32_t k = t.first_[m]; k < t.first_[m + 1]; ++k)
                if (t.steps_[k].len > static_cast<std::int64_t>(points - 1 - m))
                    return false;
            // What a lookup in doubles compares first: the radius of the
            // shortest step it may take, or zero where it may take none.
            const std::uint32_t first = t.first_[m], lanes = t.forLanes_[m], end = t.first_[m + 1];
            if (lanes < first || lanes > end || t.shortest2_[m] != (first == end ? 0.0 : t.steps_[first].r2) ||
                t.lanes2_[m] != (lanes == end ? 0.0 : t.steps_[lanes].r2))
                return false;
        }
        return true;
    }
};

struct DeepFrame::Store {
    static bool save(const DeepFrame& f, const ByteWriter& write)
    {
        Out out{write, {}};
        out.bytes(kHeader, sizeof kHeader - 1);
        out.value(kByteOrder);
        out.text(identity(f.params_));
        out.value(static_cast<std::int64_t>(f.bits_));
        out.value(static_cast<std::int64_t>(f.mostBits_));
        out.value(f.offset_);
        saveOrbit(out, f.orbit_);
        saveOrbit(out, f.critical_);
        // The bilinear steps of the frame itself, its orbit ended where its
        // own pixels let it: those of its tiles, which end it there too.
        DeepFrame own(f.params_, Unbuilt{});
        own.bits_ = f.bits_;
        own.offset_ = f.offset_;
        own.orbit_ = f.orbit_;
        own.critical_ = f.critical_;
        own.endEarly();
        own.buildTables();
        const TableBounds bounds = own.tableBounds();
        out.value(static_cast<std::uint64_t>(own.orbit_.size()));
        out.value(bounds.dcMax);
        out.value(bounds.extended);
        BlaTableStore::save(out, own.table_);
        BlaTableStore::save(out, own.criticalTable_);
        const std::uint64_t hash = out.hash.value();
        out.value(hash);
        return out.ok;
    }

    static std::unique_ptr<const DeepFrame> load(const FrameSpec& frame, const ByteReader& read, std::string* error)
    {
        const auto fail = [&](const char* why) {
            *error = why;
            return nullptr;
        };
        if (!frame.deep() || integerPower(frame.func) == 0)
            return fail("only a deep frame of an integer power draws against an orbit");
        In in{read, {}};
        char header[sizeof kHeader - 1];
        in.bytes(header, sizeof header);
        if (!in.ok || std::memcmp(header, kHeader, sizeof header) != 0)
            return fail("not an orbit file of this program");
        if (in.value<std::uint32_t>() != kByteOrder)
            return fail("an orbit file of a machine with another byte order");
        const std::string id = in.text(1 << 20);
        if (!in.ok)
            return fail("the file ends early");
        if (id != identity(frame)) {
            // Quoted on one line, whatever bytes the file holds.
            std::string shown = id.substr(0, 400);
            for (char& ch : shown)
                if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7f)
                    ch = '?';
            *error = "made for another view or limit: " + shown + (id.size() > 400 ? "..." : "");
            return nullptr;
        }
        std::unique_ptr<DeepFrame> f(new DeepFrame(frame, Unbuilt{}));
        const auto bits = in.value<std::int64_t>(), mostBits = in.value<std::int64_t>();
        f->offset_ = in.value<CxExp>();
        const std::uint64_t most = static_cast<std::uint64_t>(frame.maxIters);
        if (!in.ok || !sound(f->offset_) || !loadOrbit(in, f->orbit_, most) || !loadOrbit(in, f->critical_, most))
            return fail("the file ends early, or its orbits are not sound");
        const auto tableLength = in.value<std::uint64_t>();
        const auto dcMax = in.value<double>();
        const auto extended = in.value<CxExp>();
        const bool tables = tableLength >= 1 && tableLength <= f->orbit_.size() &&
                            BlaTableStore::load(in, f->table_, static_cast<std::size_t>(tableLength)) &&
                            BlaTableStore::load(in, f->criticalTable_, f->critical_.size());
        const std::uint64_t expected = in.hash.value();
        const auto hash = in.value<std::uint64_t>();
        char more = 0;
        if (!in.ok || !tables)
            return fail("the file ends early, or its bilinear steps are not sound");
        if (hash != expected)
            return fail("the file is damaged: its contents do not match their checksum");
        if (read(&more, 1))
            return fail("the file goes on past its end");
        // The precision this frame's orbits would have had: nothing else,
        // which recounted pixels take as their own.
        const std::int64_t least = startingBits(frame), mostOwn = integerPower(frame.func) * least;
        if (bits < least || bits > mostOwn || mostBits != mostOwn || f->orbit_.size() == 0 ||
            (frame.julia() != (f->critical_.size() != 0)))
            return fail("the file's precision or orbits do not fit its frame");
        f->bits_ = static_cast<mpfr_prec_t>(bits);
        f->mostBits_ = static_cast<mpfr_prec_t>(mostBits);
        // The orbit as this frame would have computed it, and the steps
        // saved where they are this orbit's: a frame of another height ends
        // it elsewhere, one of another shape bounds another |dc|.
        f->endEarly();
        const TableBounds own = f->tableBounds();
        if (f->orbit_.size() != tableLength || own.dcMax != dcMax || own.extended.re != extended.re ||
            own.extended.e != extended.e || (integerPower(frame.func) == 2 && f->table_.empty()))
            f->buildTables();
        else
            f->buildLanes();
        return f;
    }
};

bool DeepFrame::save(const ByteWriter& write) const { return Store::save(*this, write); }

std::unique_ptr<const DeepFrame> DeepFrame::load(const FrameSpec& frame, const ByteReader& read, std::string* error)
{
    return Store::load(frame, read, error);
}
