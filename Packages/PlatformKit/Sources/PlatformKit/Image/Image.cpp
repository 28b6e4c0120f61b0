#include "PlatformKit/Image/Image.h"

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>
#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string_view>
#include <cstring>
#include <string>
#include <unistd.h>

#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/StudioError.h"

namespace pk::image {

namespace fs = std::filesystem;

RgbaImage RgbaImage::blank(int width, int height) {
    RgbaImage image;
    if (width < 1 || height < 1) return image;
    image.width = width;
    image.height = height;
    image.stride = static_cast<size_t>(width) * 4;
    image.bytes.assign(image.stride * static_cast<size_t>(height), 0);
    return image;
}

namespace {

// OpenImageIO keeps errors per thread until read; an unread one is printed at exit.
void dropPendingErrors(OIIO::ImageInput* in = nullptr) {
    if (in) (void)in->geterror();
    (void)OIIO::geterror();
}

// The decoder to use for bytes in memory, chosen from their signature ("" when unknown).
const char* extensionFor(std::span<const uint8_t> d) {
    auto starts = [&](std::initializer_list<uint8_t> sig, size_t at = 0) {
        if (d.size() < at + sig.size()) return false;
        return std::equal(sig.begin(), sig.end(), d.begin() + static_cast<ptrdiff_t>(at));
    };
    if (starts({0x89, 'P', 'N', 'G'})) return "png";
    if (starts({0xFF, 0xD8, 0xFF})) return "jpg";
    if (starts({'I', 'I', 42, 0}) || starts({'M', 'M', 0, 42})) return "tif";
    if (starts({'f', 't', 'y', 'p'}, 4)) return "heic";
    if (starts({'G', 'I', 'F', '8'})) return "gif";
    if (starts({'B', 'M'})) return "bmp";
    if (starts({'R', 'I', 'F', 'F'}) && starts({'W', 'E', 'B', 'P'}, 8)) return "webp";
    if (starts({'#', '?'})) return "hdr";
    if (starts({0x76, 0x2F, 0x31, 0x01})) return "exr";
    return "";
}

// A PNG whose chunk lengths run past the data or that lacks IEND is refused before the
// decoder sees it: libpng's unwinding over a cut-off file is where damage is least safe.
bool pngChunksComplete(std::span<const uint8_t> d) {
    uint64_t pos = 8;
    while (pos + 12 <= d.size()) {
        const uint64_t length = (uint64_t(d[pos]) << 24) | (uint64_t(d[pos + 1]) << 16) |
                                (uint64_t(d[pos + 2]) << 8) | uint64_t(d[pos + 3]);
        const bool iend = std::memcmp(d.data() + pos + 4, "IEND", 4) == 0;
        if (length > d.size() - pos - 12) return false;
        if (iend) return true;
        pos += 12 + length;
    }
    return false;
}

std::optional<RgbaImage> decodeOpened(OIIO::ImageInput& in, uint64_t maxPixels) {
    const OIIO::ImageSpec& spec = in.spec();
    if (spec.width < 1 || spec.height < 1 || spec.depth > 1 || spec.nchannels < 1) return std::nullopt;
    const uint64_t pixels = uint64_t(spec.width) * uint64_t(spec.height);
    if (pixels > maxPixels) return std::nullopt;
    const int channels = std::min(spec.nchannels, 4);
    std::vector<uint8_t> raw;
    try {
        raw.resize(pixels * static_cast<uint64_t>(channels));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    if (!in.read_image(0, 0, 0, channels, OIIO::TypeDesc::UINT8, raw.data())) return std::nullopt;
    if (in.has_error()) return std::nullopt;  // a decoder that warned about damage

    RgbaImage image = RgbaImage::blank(spec.width, spec.height);
    uint8_t* out = image.bytes.data();
    const uint8_t* src = raw.data();
    for (uint64_t i = 0; i < pixels; ++i, out += 4, src += channels) {
        switch (channels) {
            case 1: out[0] = out[1] = out[2] = src[0]; out[3] = 255; break;
            case 2: out[0] = out[1] = out[2] = src[0]; out[3] = src[1]; break;
            case 3: out[0] = src[0]; out[1] = src[1]; out[2] = src[2]; out[3] = 255; break;
            default: std::memcpy(out, src, 4); break;
        }
    }
    return image;
}

OIIO::ImageSpec readConfig() {
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    return config;
}

std::optional<RgbaImage> decodePath(const std::string& path, uint64_t maxPixels) {
    std::optional<RgbaImage> result;
    try {
        OIIO::ImageSpec config = readConfig();
        auto in = OIIO::ImageInput::open(path, &config);
        if (in) {
            result = decodeOpened(*in, maxPixels);
            in->close();
            dropPendingErrors(in.get());
        }
    } catch (...) {
        result.reset();
    }
    dropPendingErrors();
    return result;
}

}  // namespace

std::optional<RgbaImage> decodeFile(const fs::path& path, uint64_t maxPixels) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return std::nullopt;
    {
        uint8_t sig[4] = {};
        FILE* f = std::fopen(path.c_str(), "rb");
        if (!f) return std::nullopt;
        const size_t n = std::fread(sig, 1, sizeof sig, f);
        std::fclose(f);
        if (n == 4 && std::string_view(extensionFor({sig, n})) == "png") {
            auto bytes = pk::readFile(path);
            if (!bytes || !pngChunksComplete(*bytes)) return std::nullopt;
        }
    }
    return decodePath(path.string(), maxPixels);
}

std::optional<RgbaImage> decodeMemory(std::span<const uint8_t> data, uint64_t maxPixels) {
    if (data.empty()) return std::nullopt;
    const std::string ext = extensionFor(data);
    if (ext == "png" && !pngChunksComplete(data)) return std::nullopt;
    if (!ext.empty()) {
        std::optional<RgbaImage> result;
        bool proxied = false;
        try {
            OIIO::Filesystem::IOMemReader reader(data.data(), data.size());
            OIIO::ImageSpec config = readConfig();
            auto probe = OIIO::ImageInput::create(OIIO::string_view("memory." + ext), false, &config, static_cast<OIIO::Filesystem::IOProxy*>(nullptr));
            if (probe && probe->supports("ioproxy")) {
                proxied = true;
                probe.reset();
                auto in = OIIO::ImageInput::open("memory." + ext, &config, &reader);
                if (in) {
                    result = decodeOpened(*in, maxPixels);
                    in->close();
                    dropPendingErrors(in.get());
                }
            }
        } catch (...) {
            result.reset();
        }
        dropPendingErrors();
        if (proxied) return result;
    }
    // A reader without in-memory input (or an unknown signature): go through a file.
    static std::atomic<uint64_t> counter{0};
    const fs::path tmp = pk::temporaryDirectory() /
                         ("pk-image-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) +
                          (ext.empty() ? std::string() : "." + ext));
    try {
        pk::writeInPlace(tmp, data);
    } catch (...) {
        return std::nullopt;
    }
    auto result = decodePath(tmp.string(), maxPixels);
    std::error_code ec;
    fs::remove(tmp, ec);
    return result;
}

void premultiplyAlpha(RgbaImage& image) {
    for (int y = 0; y < image.height; ++y) {
        uint8_t* p = image.row(y);
        for (int x = 0; x < image.width; ++x, p += 4) {
            const uint8_t a = p[3];
            if (a == 255) continue;
            for (int c = 0; c < 3; ++c) p[c] = premultipliedComponent(p[c], a);
        }
    }
}

RgbaImage resized(const RgbaImage& source, int width, int height, ResizeQuality quality) {
    RgbaImage out = RgbaImage::blank(width, height);
    if (out.empty() || source.empty()) return out;
    OIIO::ImageSpec spec(source.width, source.height, 4, OIIO::TypeDesc::UINT8);
    spec.alpha_channel = 3;
    OIIO::ImageBuf src(spec, const_cast<uint8_t*>(source.bytes.data()), 4, static_cast<OIIO::stride_t>(source.stride));
    OIIO::ImageBuf linear;
    OIIO::ImageBufAlgo::premult(linear, src);
    OIIO::ROI roi(0, width, 0, height, 0, 1, 0, 4);
    OIIO::ImageBuf scaled =
        OIIO::ImageBufAlgo::resize(linear, quality == ResizeQuality::high ? "lanczos3" : "", 0.0f, roi);
    OIIO::ImageBuf straight;
    OIIO::ImageBufAlgo::unpremult(straight, scaled);
    straight.get_pixels(roi, OIIO::TypeDesc::UINT8, out.bytes.data(), 4, static_cast<OIIO::stride_t>(out.stride));
    (void)straight.geterror();
    (void)scaled.geterror();
    dropPendingErrors();
    return out;
}

}  // namespace pk::image
