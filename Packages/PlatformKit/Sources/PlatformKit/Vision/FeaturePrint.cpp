#include "PlatformKit/Vision/FeaturePrint.h"

#include <algorithm>
#include <cmath>

namespace pk::vision {

std::optional<FeaturePrint> featurePrint(const pk::image::RgbaImage& image) {
    if (!image.holdsPixels()) return std::nullopt;
    const int w = image.width, h = image.height;
    constexpr int n = kFeaturePrintSide;
    // Column sums per cell row, accumulated in doubles so a 4K frame loses nothing.
    std::vector<double> sums(static_cast<size_t>(n) * n * 3, 0.0);
    std::vector<double> counts(static_cast<size_t>(n) * n, 0.0);
    std::vector<int> cellOfColumn(w);
    for (int x = 0; x < w; ++x) cellOfColumn[x] = static_cast<int>(static_cast<int64_t>(x) * n / w);
    for (int y = 0; y < h; ++y) {
        const int cy = static_cast<int>(static_cast<int64_t>(y) * n / h);
        const uint8_t* row = image.row(y);
        double* cellSums = sums.data() + static_cast<size_t>(cy) * n * 3;
        double* cellCounts = counts.data() + static_cast<size_t>(cy) * n;
        for (int x = 0; x < w; ++x) {
            const int cx = cellOfColumn[x];
            const unsigned a = row[x * 4 + 3];
            cellSums[cx * 3 + 0] += row[x * 4 + 0] * a;
            cellSums[cx * 3 + 1] += row[x * 4 + 1] * a;
            cellSums[cx * 3 + 2] += row[x * 4 + 2] * a;
            cellCounts[cx] += 1.0;
        }
    }
    // Images narrower than the grid leave cells empty: they take their left/upper
    // neighbour's value so the thumbnail stays a plain stretch of the picture.
    std::vector<double> thumb(sums.size(), 0.0);
    for (int cy = 0; cy < n; ++cy) {
        for (int cx = 0; cx < n; ++cx) {
            int sy = cy, sx = cx;
            while (sy > 0 && counts[static_cast<size_t>(sy) * n + cx] == 0) --sy;
            while (sx > 0 && counts[static_cast<size_t>(sy) * n + sx] == 0) --sx;
            const size_t src = static_cast<size_t>(sy) * n + sx;
            const double c = std::max(counts[src], 1.0);
            for (int k = 0; k < 3; ++k)
                thumb[(static_cast<size_t>(cy) * n + cx) * 3 + k] = sums[src * 3 + k] / (c * 255.0 * 255.0);
        }
    }
    FeaturePrint print;
    double mean[3] = {0, 0, 0};
    for (size_t i = 0; i < thumb.size(); ++i) mean[i % 3] += thumb[i];
    for (double& m : mean) m /= static_cast<double>(n) * n;
    print.meanRed = static_cast<float>(mean[0]);
    print.meanGreen = static_cast<float>(mean[1]);
    print.meanBlue = static_cast<float>(mean[2]);
    double all = (mean[0] + mean[1] + mean[2]) / 3.0, norm = 0.0;
    for (double& v : thumb) {
        v -= all;
        norm += v * v;
    }
    norm = std::sqrt(norm);
    print.structure.assign(thumb.size(), 0.0f);
    if (norm > 1e-9)
        for (size_t i = 0; i < thumb.size(); ++i) print.structure[i] = static_cast<float>(thumb[i] / norm);
    return print;
}

float featurePrintDistance(const FeaturePrint& a, const FeaturePrint& b) {
    double sum = 0.0;
    const size_t n = std::min(a.structure.size(), b.structure.size());
    for (size_t i = 0; i < n; ++i) {
        const double d = static_cast<double>(a.structure[i]) - b.structure[i];
        sum += d * d;
    }
    for (size_t i = n; i < a.structure.size(); ++i) sum += static_cast<double>(a.structure[i]) * a.structure[i];
    for (size_t i = n; i < b.structure.size(); ++i) sum += static_cast<double>(b.structure[i]) * b.structure[i];
    const double dr = a.meanRed - b.meanRed, dg = a.meanGreen - b.meanGreen, db = a.meanBlue - b.meanBlue;
    sum += dr * dr + dg * dg + db * db;
    return static_cast<float>(std::sqrt(sum)) * kFeaturePrintDistanceScale;
}

}  // namespace pk::vision
