// PNG encoding: rows filtered and deflated in strips of a few MiB, each strip on a thread
// of its own with libdeflate, the strips joined into the one zlib stream PNG wants. Each
// strip picks the filter (none, up or Paeth) that compresses its first rows best.
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <span>
#include <system_error>
#include <thread>
#include <vector>

#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/JobGuard.h"
#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Image/DeflateJoin.h"
#include "PlatformKit/Image/Image.h"

namespace pk::image {

namespace fs = std::filesystem;

namespace {

constexpr size_t kStripBytes = size_t(4) << 20;   // filtered bytes per strip
constexpr size_t kTrialBytes = size_t(64) << 10;  // filtered bytes a filter is tried on
constexpr size_t kIdatBytes = size_t(1) << 20;    // largest IDAT chunk written

StudioError encodeError(const std::string& text) { return StudioError("PlatformKit.Image", 2, "PNG encode failed: " + text); }

enum class Filter : uint8_t { none = 0, up = 2, paeth = 4 };
constexpr Filter kFilters[] = {Filter::up, Filter::paeth, Filter::none};

void filterRow(Filter f, const uint8_t* cur, const uint8_t* up, size_t n, uint8_t* out) {
    out[0] = uint8_t(f);
    ++out;
    switch (f) {
        case Filter::none: std::memcpy(out, cur, n); break;
        case Filter::up:
            for (size_t i = 0; i < n; ++i) out[i] = uint8_t(cur[i] - up[i]);
            break;
        case Filter::paeth:
            for (size_t i = 0; i < 4; ++i) out[i] = uint8_t(cur[i] - up[i]);  // left and upper-left are zero
            for (size_t i = 4; i < n; ++i) {
                const int a = cur[i - 4], b = up[i], c = up[i - 4];
                const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
                const int pred = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
                out[i] = uint8_t(cur[i] - pred);
            }
            break;
    }
}

struct Source {
    const uint8_t* pixels;
    int width, height;
    size_t stride;
    ChannelOrder order;

    size_t rowBytes() const { return size_t(width) * 4; }
    // Row y as RGBA: in place, or swizzled into `scratch` (rowBytes long).
    const uint8_t* row(int y, uint8_t* scratch) const {
        const uint8_t* s = pixels + size_t(y) * stride;
        if (order == ChannelOrder::rgba) return s;
        for (size_t x = 0; x < rowBytes(); x += 4) {
            scratch[x] = s[x + 2];
            scratch[x + 1] = s[x + 1];
            scratch[x + 2] = s[x];
            scratch[x + 3] = s[x + 3];
        }
        return scratch;
    }
};

struct Strip {
    int y0 = 0, y1 = 0;
    std::vector<uint8_t> deflated;  // one raw deflate stream
    deflate::StreamEnd end;
    uint32_t adler = 1;
};

struct Compressor {
    libdeflate_compressor* c;
    explicit Compressor(int level) : c(libdeflate_alloc_compressor(level)) {
        if (!c) throw encodeError("no compressor for level " + std::to_string(level));
    }
    ~Compressor() { libdeflate_free_compressor(c); }
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;
};

// One worker: filters and compresses strips until none is left.
class StripEncoder {
public:
    // Buffers sized once for the largest strip, so no strip pays for growing them.
    StripEncoder(const Source& src, int level, int maxRows)
        : src_(src),
          level_(level),
          compressor_(level),
          zeros_(src.rowBytes(), 0),
          cur_(src.rowBytes()),
          up_(src.rowBytes()),
          filtered_(size_t(maxRows) * (src.rowBytes() + 1)),
          out_(libdeflate_deflate_compress_bound(compressor_.c, filtered_.size())) {}

    void encode(Strip& strip, bool last) {
        const size_t filteredRow = src_.rowBytes() + 1;
        const int rows = strip.y1 - strip.y0;
        const int trialRows = int(std::clamp<size_t>(kTrialBytes / filteredRow, 1, size_t(rows)));
        Filter best = Filter::none;
        if (level_ > 0 && trialRows < rows) {
            size_t bestSize = SIZE_MAX;
            for (Filter f : kFilters) {
                const size_t size = compress(filterRows(strip.y0, strip.y0 + trialRows, f));
                if (size < bestSize) bestSize = size, best = f;
            }
        } else if (level_ > 0) {
            best = Filter::paeth;  // too few rows to try on: the usual best for images
        }
        const std::span<const uint8_t> filtered = filterRows(strip.y0, strip.y1, best);
        strip.adler = uint32_t(libdeflate_adler32(1, filtered.data(), filtered.size()));
        const size_t n = compress(filtered);
        strip.deflated.assign(out_.begin(), out_.begin() + ptrdiff_t(n));
        if (!last) {
            auto end = deflate::findStreamEnd(strip.deflated);
            if (!end) throw encodeError("a compressed strip could not be joined");
            strip.end = *end;
        }
    }

private:
    std::span<const uint8_t> filterRows(int y0, int y1, Filter f) {
        const size_t filteredRow = src_.rowBytes() + 1;
        const uint8_t* up = y0 == 0 ? zeros_.data() : src_.row(y0 - 1, up_.data());
        for (int y = y0; y < y1; ++y) {
            const uint8_t* cur = src_.row(y, cur_.data());
            filterRow(f, cur, up, src_.rowBytes(), filtered_.data() + size_t(y - y0) * filteredRow);
            if (cur == cur_.data()) {
                std::swap(cur_, up_);  // the swizzled row is the next row's upper one
                up = up_.data();
            } else {
                up = cur;
            }
        }
        return {filtered_.data(), size_t(y1 - y0) * filteredRow};
    }

    size_t compress(std::span<const uint8_t> data) {
        const size_t n = libdeflate_deflate_compress(compressor_.c, data.data(), data.size(), out_.data(), out_.size());
        if (n == 0) throw encodeError("deflate output did not fit its bound");
        return n;
    }

    const Source& src_;
    int level_;
    Compressor compressor_;
    std::vector<uint8_t> zeros_, cur_, up_, filtered_, out_;
};

// The zlib stream of the filtered rows (header, joined strips, Adler-32).
std::vector<uint8_t> zlibStream(const Source& src, int level) {
    const size_t filteredRow = src.rowBytes() + 1;
    const int rowsPerStrip = int(std::clamp<size_t>(kStripBytes / filteredRow, 1, size_t(src.height)));
    std::vector<Strip> strips(size_t((src.height + rowsPerStrip - 1) / rowsPerStrip));
    for (size_t i = 0; i < strips.size(); ++i) {
        strips[i].y0 = int(i) * rowsPerStrip;
        strips[i].y1 = std::min(src.height, strips[i].y0 + rowsPerStrip);
    }

    std::atomic<size_t> next{0};
    std::atomic<bool> stop{false};
    std::mutex errorMutex;
    std::exception_ptr error;
    // The first failure of any worker is the encode's; the others stop at their next strip.
    auto work = [&] {
        pk::runGuarded(
            "PNG encode",
            [&] {
                StripEncoder encoder(src, level, rowsPerStrip);
                while (!stop.load()) {
                    const size_t i = next.fetch_add(1);
                    if (i >= strips.size()) break;
                    encoder.encode(strips[i], i + 1 == strips.size());
                }
            },
            [&](const pk::JobFailure& f) {
                stop.store(true);
                std::lock_guard lock(errorMutex);
                if (!error) error = f.exception();
            });
    };
    const size_t workers = std::min<size_t>(strips.size(), std::max(1u, std::thread::hardware_concurrency()));
    // Joined however this function is left: a thread that cannot be made must not end
    // the process through the ones already running.
    std::vector<std::jthread> threads;
    threads.reserve(workers);
    for (size_t t = 1; t < workers; ++t) {
        try {
            threads.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // fewer threads: the ones running take the remaining strips
        }
    }
    work();
    for (auto& t : threads) t.join();
    if (error) std::rethrow_exception(error);

    std::vector<uint8_t> z = {0x78, 0x9C};
    uLong adler = 1;
    for (size_t i = 0; i < strips.size(); ++i) {
        const Strip& s = strips[i];
        if (i + 1 < strips.size())
            deflate::appendOpenPart(z, s.deflated, s.end);
        else
            z.insert(z.end(), s.deflated.begin(), s.deflated.end());
        adler = adler32_combine(adler, s.adler, z_off_t(size_t(s.y1 - s.y0) * filteredRow));
    }
    for (int shift = 24; shift >= 0; shift -= 8) z.push_back(uint8_t(adler >> shift));
    return z;
}

void putBigEndian(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
}

void putChunk(std::vector<uint8_t>& out, const char type[4], const uint8_t* data, size_t size) {
    putBigEndian(out, uint32_t(size));
    const size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data, data + size);
    putBigEndian(out, uint32_t(libdeflate_crc32(0, out.data() + typeAt, size + 4)));
}

}  // namespace

std::vector<uint8_t> encodePng(const uint8_t* pixels, int width, int height, size_t stride, ChannelOrder order,
                               const PngOptions& options) {
    if (width < 1 || height < 1 || !pixels || stride < static_cast<size_t>(width) * 4)
        throw StudioError("PlatformKit.Image", 1, "PNG encode needs at least one pixel and whole rows.");
    if (width > 0x7FFFFFFF / 4 || options.compressionLevel < 0 || options.compressionLevel > 12)
        throw StudioError("PlatformKit.Image", 1, "PNG encode: size or compression level out of range.");
    const Source src{pixels, width, height, stride, order};
    const std::vector<uint8_t> z = zlibStream(src, options.compressionLevel);

    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    png.reserve(png.size() + 25 + z.size() + (z.size() / kIdatBytes + 1) * 12 + 12);
    std::vector<uint8_t> ihdr;
    putBigEndian(ihdr, uint32_t(width));
    putBigEndian(ihdr, uint32_t(height));
    ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, adaptive filters, no interlace
    putChunk(png, "IHDR", ihdr.data(), ihdr.size());
    for (size_t at = 0; at < z.size(); at += kIdatBytes) putChunk(png, "IDAT", z.data() + at, std::min(kIdatBytes, z.size() - at));
    putChunk(png, "IEND", nullptr, 0);
    return png;
}

std::vector<uint8_t> encodePng(const RgbaImage& image, const PngOptions& options) {
    return encodePng(image.bytes.data(), image.width, image.height, image.stride, ChannelOrder::rgba, options);
}

void writePng(const fs::path& path, const uint8_t* pixels, int width, int height, size_t stride, ChannelOrder order,
              const PngOptions& options) {
    auto bytes = encodePng(pixels, width, height, stride, order, options);
    if (options.atomic)
        pk::atomicWrite(path, bytes);
    else
        pk::writeInPlace(path, bytes);
}

void writePng(const fs::path& path, const RgbaImage& image, const PngOptions& options) {
    writePng(path, image.bytes.data(), image.width, image.height, image.stride, ChannelOrder::rgba, options);
}

}  // namespace pk::image
