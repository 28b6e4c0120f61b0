#include "PlatformKit/Image/Downscale.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace pk::image {

namespace {

// The source span of one output pixel along an axis: first and last source index, and
// how much of each end pixel the output pixel covers (inner pixels count whole), so the
// weights of one output pixel sum to the source pixels it stands for.
struct Span {
    int first = 0, last = 0;
    double firstWeight = 1, lastWeight = 1;
    double total = 0;  // sum of the weights
};

std::vector<Span> spans(int sourceSize, int outputSize) {
    std::vector<Span> out(static_cast<size_t>(outputSize));
    const double scale = static_cast<double>(sourceSize) / outputSize;
    for (int i = 0; i < outputSize; ++i) {
        const double lo = i * scale, hi = (i + 1) * scale;
        Span& s = out[static_cast<size_t>(i)];
        s.first = static_cast<int>(std::floor(lo));
        s.last = std::min(sourceSize - 1, static_cast<int>(std::ceil(hi)) - 1);
        s.firstWeight = std::min(hi, s.first + 1.0) - lo;
        s.lastWeight = s.last == s.first ? s.firstWeight : std::min(hi, s.last + 1.0) - s.last;
        s.total = std::min(hi, static_cast<double>(sourceSize)) - lo;
    }
    return out;
}

double weightAt(const Span& s, int index) {
    if (index == s.first) return s.firstWeight;
    if (index == s.last) return s.lastWeight;
    return 1.0;
}

uint8_t toByte(double v) { return static_cast<uint8_t>(std::clamp(std::floor(v + 0.5), 0.0, 255.0)); }

}  // namespace

RgbaImage downscaledBox(const RgbaImage& source, int width, int height) {
    if (!source.holdsPixels() || width < 1 || height < 1) return {};
    width = std::min(width, source.width);
    height = std::min(height, source.height);
    if (width == source.width && height == source.height) return source;

    const std::vector<Span> columns = spans(source.width, width);
    const std::vector<Span> rows = spans(source.height, height);
    RgbaImage out = RgbaImage::blank(width, height);
    // Per output row: the weighted sum of its source rows (alpha-weighted colour and
    // alpha) per source column, then reduced across each output pixel's columns.
    std::vector<double> acc(static_cast<size_t>(source.width) * 4);
    for (int oy = 0; oy < height; ++oy) {
        const Span& r = rows[static_cast<size_t>(oy)];
        std::fill(acc.begin(), acc.end(), 0.0);
        for (int sy = r.first; sy <= r.last; ++sy) {
            const double wy = weightAt(r, sy);
            const uint8_t* p = source.row(sy);
            double* a = acc.data();
            for (int sx = 0; sx < source.width; ++sx, p += 4, a += 4) {
                const double alpha = p[3];
                a[0] += wy * p[0] * alpha;
                a[1] += wy * p[1] * alpha;
                a[2] += wy * p[2] * alpha;
                a[3] += wy * alpha;
            }
        }
        uint8_t* o = out.row(oy);
        for (int ox = 0; ox < width; ++ox, o += 4) {
            const Span& c = columns[static_cast<size_t>(ox)];
            double sum[4] = {0, 0, 0, 0};
            for (int sx = c.first; sx <= c.last; ++sx) {
                const double wx = weightAt(c, sx);
                const double* a = acc.data() + static_cast<size_t>(sx) * 4;
                for (int k = 0; k < 4; ++k) sum[k] += wx * a[k];
            }
            o[3] = toByte(sum[3] / (c.total * r.total));
            if (sum[3] > 0)
                for (int k = 0; k < 3; ++k) o[k] = toByte(sum[k] / sum[3]);
        }
    }
    return out;
}

}  // namespace pk::image
