#include "PlatformKit/Image/Image.h"

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>
#include <OpenImageIO/imageio.h>
#include <libheif/heif.h>
#include <tiffio.h>

#include <algorithm>
#include <memory>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

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

// The formats the studio accepts, told by their content; anything else (EXR, GIF,
// BMP, WebP, ...) is refused before any decoder sees it, whatever its name says.
enum class Format { png, jpeg, tiff, heif, hdr };

const char* pluginOf(Format f) {
    switch (f) {
        case Format::png: return "png";
        case Format::jpeg: return "jpeg";
        case Format::tiff: return "tiff";  // not used: TIFF is read through libtiff itself
        case Format::heif: return "heif";  // not used: HEIF is read through libheif itself
        case Format::hdr: return "hdr";
    }
    return "";
}

const char* extensionOf(Format f) {
    switch (f) {
        case Format::png: return "png";
        case Format::jpeg: return "jpg";
        case Format::tiff: return "tif";
        case Format::heif: return "heic";
        case Format::hdr: return "hdr";
    }
    return "";
}

// HEIF still images: an ftyp box naming a HEIF brand as its major or a compatible brand.
bool isHeif(std::span<const uint8_t> d) {
    if (d.size() < 16 || std::memcmp(d.data() + 4, "ftyp", 4) != 0) return false;
    const uint64_t boxSize = (uint64_t(d[0]) << 24) | (uint64_t(d[1]) << 16) | (uint64_t(d[2]) << 8) | d[3];
    const uint64_t end = std::min<uint64_t>(std::min<uint64_t>(boxSize, d.size()), 256);
    static constexpr const char* kBrands[] = {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1"};
    for (uint64_t at = 8; at + 4 <= end; at += 4) {
        if (at == 12) continue;  // the minor version, not a brand
        for (const char* brand : kBrands)
            if (std::memcmp(d.data() + at, brand, 4) == 0) return true;
    }
    return false;
}

std::optional<Format> formatOf(std::span<const uint8_t> d) {
    auto starts = [&](std::initializer_list<uint8_t> sig) {
        return d.size() >= sig.size() && std::equal(sig.begin(), sig.end(), d.begin());
    };
    if (starts({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A})) return Format::png;
    if (starts({0xFF, 0xD8, 0xFF})) return Format::jpeg;
    if (starts({'I', 'I', 42, 0}) || starts({'M', 'M', 0, 42})) return Format::tiff;
    if (starts({'#', '?'})) return Format::hdr;
    if (isHeif(d)) return Format::heif;
    return std::nullopt;
}

uint32_t bigEndian32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// Decoders fill whatever a short file lacks and still do the whole image's work, so a
// file far too small for the size its header declares is refused before decoding.
// Deflate expands at most about 1032 times.
constexpr uint64_t kMaxDeflateRatio = 1032;

// A PNG whose chunk lengths run past the data or that lacks IEND is refused before the
// decoder sees it (libpng's unwinding over a cut-off file is where damage is least
// safe), and so is one whose image data cannot inflate to the rows IHDR declares.
bool pngPlausible(std::span<const uint8_t> d) {
    uint64_t pos = 8;
    uint64_t rowBytes = 0, height = 0, idat = 0;
    while (pos + 12 <= d.size()) {
        const uint64_t length = bigEndian32(d.data() + pos);
        const uint8_t* type = d.data() + pos + 4;
        if (length > d.size() - pos - 12) return false;
        if (std::memcmp(type, "IHDR", 4) == 0 && length >= 13) {
            const uint8_t* h = d.data() + pos + 8;
            static constexpr uint8_t kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
            const uint8_t colour = h[9];
            const uint64_t bits = uint64_t(h[8]) * (colour < 7 ? kChannels[colour] : 4);
            rowBytes = (uint64_t(bigEndian32(h)) * bits + 7) / 8;
            height = bigEndian32(h + 4);
        } else if (std::memcmp(type, "IDAT", 4) == 0) {
            idat += length;
        } else if (std::memcmp(type, "IEND", 4) == 0) {
            // Divided, not multiplied: the declared sizes can exceed 64 bits together.
            return rowBytes == 0 || height <= (idat * kMaxDeflateRatio + 4096) / rowBytes;
        }
        pos += 12 + length;
    }
    return false;
}

// JPEG limits, from the frame header and the marker stream: a progressive file repaints
// the whole image once per scan, so a small file of many tiny scans keeps the decoder
// busy for minutes (real files have a dozen or so); and a Huffman-coded block takes at
// least one bit, so the coded data must hold an eighth of a byte per 8 x 8 block (an
// arithmetic-coded flat block can take much less: a five-hundredth of a byte then).
constexpr int kMaxJpegScans = 64;

bool jpegPlausible(std::span<const uint8_t> d) {
    uint64_t pos = 2;
    int scans = 0;
    uint64_t blocks = 0, entropyBytes = 0;
    bool arithmetic = false;
    while (pos + 4 <= d.size()) {
        if (d[pos] != 0xFF) {
            ++pos;  // entropy-coded data (0xFF 0x00 stuffing and restart markers pass here too)
            ++entropyBytes;
            continue;
        }
        const uint8_t marker = d[pos + 1];
        if (marker == 0x00 || marker == 0xFF || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
            entropyBytes += marker == 0x00 ? 2 : 0;
            pos += marker == 0xFF ? 1 : 2;
            continue;
        }
        if (marker == 0xD9) break;  // end of image
        const uint64_t length = (uint64_t(d[pos + 2]) << 8) | d[pos + 3];
        if (length < 2) return false;
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame && length >= 8 && pos + 9 <= d.size()) {
            const uint64_t height = (uint64_t(d[pos + 5]) << 8) | d[pos + 6];
            const uint64_t width = (uint64_t(d[pos + 7]) << 8) | d[pos + 8];
            blocks = ((width + 7) / 8) * ((height + 7) / 8);
            arithmetic = marker >= 0xC9;
        }
        if (marker == 0xDA && ++scans > kMaxJpegScans) return false;
        pos += 2 + length;
    }
    return entropyBytes * (arithmetic ? 512 : 8) + 4096 >= blocks;
}

bool associatedAlpha(const OIIO::ImageSpec& spec, int channels) {
    return (channels == 2 || channels == 4) && spec.alpha_channel == channels - 1 &&
           spec.get_int_attribute("oiio:UnassociatedAlpha", 0) != 1;
}

// Samples of one band of rows, at 8 bits (16 when associated), packed into RGBA rows.
void packBand(const uint8_t* samples, int channels, bool associated, int width, int rows, RgbaImage& image, int y0) {
    const uint64_t count = uint64_t(width) * uint64_t(rows);
    uint8_t* out = image.row(y0);  // rows are tightly packed, so the band is contiguous
    if (associated) {
        const auto* src = reinterpret_cast<const uint16_t*>(samples);
        auto to8 = [](uint32_t v16) { return static_cast<uint8_t>((v16 + 128) / 257); };
        for (uint64_t i = 0; i < count; ++i, out += 4, src += channels) {
            const uint32_t a = src[channels - 1];
            uint8_t straight[3] = {0, 0, 0};
            for (int c = 0; c < channels - 1; ++c)
                if (a > 0) straight[c] = to8(std::min<uint32_t>(65535, (uint32_t(src[c]) * 65535 + a / 2) / a));
            if (channels == 2) straight[1] = straight[2] = straight[0];
            std::memcpy(out, straight, 3);
            out[3] = to8(a);
        }
        return;
    }
    const uint8_t* src = samples;
    for (uint64_t i = 0; i < count; ++i, out += 4, src += channels) {
        switch (channels) {
            case 1: out[0] = out[1] = out[2] = src[0]; out[3] = 255; break;
            case 2: out[0] = out[1] = out[2] = src[0]; out[3] = src[1]; break;
            case 3: out[0] = src[0]; out[1] = src[1]; out[2] = src[2]; out[3] = 255; break;
            default: std::memcpy(out, src, 4); break;
        }
    }
}

// Real images have a handful of channels; more only multiplies what a band holds.
constexpr int kMaxChannels = 16;
// Samples are read in the file's own type, a band of rows at a time, and converted
// here: the library's converting reads allocate hundreds of rows at once, whatever the
// image's height, and so can be made to ask for gigabytes by a small header.
constexpr uint64_t kBandBytes = uint64_t(8) << 20;
// A band a file makes as large as it likes (one TIFF strip, one row of tiles) is refused
// past this: no photo or panorama has a gigabyte-sized strip.
constexpr uint64_t kMaxBandBytes = uint64_t(1) << 30;

// An image of the declared size with no rows yet: rows are filled as bands decode, so a
// file whose data stops early costs only what it holds, not the whole declared size.
// Throws std::bad_alloc when even the reservation cannot be had.
RgbaImage imageToFill(uint64_t width, uint64_t height) {
    RgbaImage image;
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.stride = static_cast<size_t>(width) * 4;
    image.bytes.reserve(image.stride * static_cast<size_t>(height));
    return image;
}

std::optional<RgbaImage> decodeOpened(OIIO::ImageInput& in, uint64_t maxPixels) {
    const OIIO::ImageSpec& spec = in.spec();
    if (spec.width < 1 || spec.height < 1 || spec.depth > 1 || spec.nchannels < 1 || spec.nchannels > kMaxChannels)
        return std::nullopt;
    if (!spec.channelformats.empty() || spec.format.size() == 0 || spec.format.size() > 8) return std::nullopt;
    const uint64_t pixels = uint64_t(spec.width) * uint64_t(spec.height);
    if (pixels > maxPixels) return std::nullopt;
    const int width = spec.width, height = spec.height;
    const int channels = std::min(spec.nchannels, 4);
    // Decoders hand out alpha as the file stores it; associated (premultiplied) samples
    // are converted to 16 bits and divided once here, so every caller gets straight alpha.
    const bool associated = associatedAlpha(spec, channels);
    const OIIO::TypeDesc target = associated ? OIIO::TypeDesc::UINT16 : OIIO::TypeDesc::UINT8;
    const uint64_t nativePixel = uint64_t(spec.format.size()) * uint64_t(spec.nchannels);
    const uint64_t nativeRow = nativePixel * uint64_t(width);

    // PNG, JPEG and HDR are read in scanlines (none of them is tiled; TIFF goes through
    // libtiff below).
    if (spec.tile_width > 0) return std::nullopt;
    const uint64_t band = std::min<uint64_t>(std::max<uint64_t>(1, kBandBytes / nativeRow), uint64_t(height));
    if (band * nativeRow > kMaxBandBytes) return std::nullopt;
    std::unique_ptr<uint8_t[]> native;  // not zero-filled: the decoder writes it or fails
    std::vector<uint8_t> converted;
    RgbaImage image;
    try {
        native = std::make_unique_for_overwrite<uint8_t[]>(band * nativeRow);
        converted.resize(band * uint64_t(width) * uint64_t(channels) * target.size());
        image = imageToFill(uint64_t(width), uint64_t(height));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    // UNKNOWN is the library's word for "as stored": a read that converts goes through
    // its own oversized buffer.
    const OIIO::TypeDesc stored = OIIO::TypeDesc::UNKNOWN;
    for (uint64_t y0 = 0; y0 < uint64_t(height); y0 += band) {
        const int rows = static_cast<int>(std::min<uint64_t>(band, uint64_t(height) - y0));
        const int ybegin = spec.y + static_cast<int>(y0);
        const bool ok = in.read_scanlines(0, 0, ybegin, ybegin + rows, 0, 0, spec.nchannels, stored, native.get());
        if (!ok) return std::nullopt;
        if (!OIIO::convert_image(channels, width, rows, 1, native.get(), spec.format,
                                 static_cast<OIIO::stride_t>(nativePixel), static_cast<OIIO::stride_t>(nativeRow),
                                 OIIO::AutoStride, converted.data(), target, OIIO::AutoStride, OIIO::AutoStride,
                                 OIIO::AutoStride))
            return std::nullopt;
        image.bytes.resize((y0 + uint64_t(rows)) * image.stride);
        packBand(converted.data(), channels, associated, width, rows, image, static_cast<int>(y0));
    }
    if (in.has_error()) return std::nullopt;  // a decoder that warned about damage
    return image;
}

OIIO::ImageSpec readConfig() {
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    return config;
}

// Opens the bytes behind `proxy` with the one decoder for `format`: no falling back to
// other plug-ins that might claim them.
std::optional<RgbaImage> decodeWith(Format format, const std::string& name, OIIO::Filesystem::IOProxy* proxy,
                                    uint64_t maxPixels) {
    std::optional<RgbaImage> result;
    try {
        OIIO::ImageSpec config = readConfig();
        auto in = OIIO::ImageInput::create(pluginOf(format), false, &config);
        if (in && in->set_ioproxy(proxy)) {
            OIIO::ImageSpec spec;
            if (in->open(name, spec, config)) {
                result = decodeOpened(*in, maxPixels);
                in->close();
            }
            dropPendingErrors(in.get());
        }
    } catch (...) {
        result.reset();
    }
    dropPendingErrors();
    return result;
}

// Divides associated alpha out of 8-bit samples, in place.
void unpremultiply(RgbaImage& image) {
    for (int y = 0; y < image.height; ++y) {
        uint8_t* p = image.row(y);
        for (int x = 0; x < image.width; ++x, p += 4) {
            const unsigned a = p[3];
            if (a == 255) continue;
            for (int c = 0; c < 3; ++c)
                p[c] = a == 0 ? 0 : static_cast<uint8_t>(std::min(255u, (p[c] * 255u + a / 2) / a));
        }
    }
}

// The picture size an HEVC sequence parameter set declares, or none when the set cannot
// be read that far. The decoder allocates its frames from this size, whatever the file's
// own image sizes say.
std::optional<std::pair<uint64_t, uint64_t>> hevcPictureSize(std::span<const uint8_t> nal) {
    // Emulation prevention bytes (00 00 03) removed; the sizes lie in the first bytes.
    std::vector<uint8_t> rbsp;
    rbsp.reserve(std::min<size_t>(nal.size(), 256));
    for (size_t i = 2, zeros = 0; i < nal.size() && rbsp.size() < 256; ++i) {
        if (zeros >= 2 && nal[i] == 3) {
            zeros = 0;
            continue;
        }
        zeros = nal[i] == 0 ? zeros + 1 : 0;
        rbsp.push_back(nal[i]);
    }
    uint64_t bit = 0;
    bool ok = true;
    auto u = [&](int n) {
        uint64_t v = 0;
        for (int k = 0; k < n; ++k, ++bit) {
            if (bit / 8 >= rbsp.size()) {
                ok = false;
                return uint64_t(0);
            }
            v = (v << 1) | ((rbsp[bit / 8] >> (7 - bit % 8)) & 1);
        }
        return v;
    };
    auto ue = [&] {
        int zeros = 0;
        while (ok && u(1) == 0)
            if (++zeros > 31) ok = false;
        return ok ? (uint64_t(1) << zeros) - 1 + u(zeros) : 0;
    };
    u(4);  // video parameter set id
    const int subLayers = static_cast<int>(u(3));
    u(1);
    u(96);  // general profile, tier and level
    bool profile[8] = {}, level[8] = {};
    for (int i = 0; i < subLayers; ++i) {
        profile[i] = u(1);
        level[i] = u(1);
    }
    if (subLayers > 0)
        for (int i = subLayers; i < 8; ++i) u(2);
    for (int i = 0; i < subLayers; ++i) u((profile[i] ? 88 : 0) + (level[i] ? 8 : 0));
    ue();  // sequence parameter set id
    if (ue() == 3) u(1);  // 4:4:4 with separate colour planes
    const uint64_t width = ue(), height = ue();
    if (!ok) return std::nullopt;
    return std::pair(width, height);
}

// Every HEVC decoder configuration in the file's item properties must declare pictures no
// larger than the image they make (twice its size and a coding block over, for tiles that
// reach past a grid's edge): a small file can otherwise have the decoder allocate
// gigabytes for one tile. Items coded any other way (AV1 and later codecs) are refused.
bool heifCodecsWithin(std::span<const uint8_t> d, uint64_t width, uint64_t height) {
    struct Box {
        uint64_t body, end;
        char type[4];
    };
    auto boxAt = [&](uint64_t at, uint64_t end) -> std::optional<Box> {
        if (at + 8 > end) return std::nullopt;
        uint64_t size = (uint64_t(d[at]) << 24) | (uint64_t(d[at + 1]) << 16) | (uint64_t(d[at + 2]) << 8) | d[at + 3];
        uint64_t body = at + 8;
        if (size == 1) {
            if (at + 16 > end) return std::nullopt;
            size = 0;
            for (int k = 0; k < 8; ++k) size = (size << 8) | d[at + 8 + k];
            body = at + 16;
        } else if (size == 0) {
            size = end - at;
        }
        if (size < body - at || size > end - at) return std::nullopt;
        Box b{body, at + size, {}};
        std::memcpy(b.type, d.data() + at + 4, 4);
        return b;
    };
    auto find = [&](uint64_t at, uint64_t end, const char* type) -> std::optional<Box> {
        while (auto b = boxAt(at, end)) {
            if (std::memcmp(b->type, type, 4) == 0) return b;
            at = b->end;
        }
        return std::nullopt;
    };
    const auto meta = find(0, d.size(), "meta");
    if (!meta || meta->body + 4 > meta->end) return false;
    const auto iprp = find(meta->body + 4, meta->end, "iprp");  // meta is a full box
    const auto ipco = iprp ? find(iprp->body, iprp->end, "ipco") : std::nullopt;
    if (!ipco) return false;
    const uint64_t maxWidth = 2 * width + 64, maxHeight = 2 * height + 64;
    for (uint64_t at = ipco->body, next = 0; auto b = boxAt(at, ipco->end); at = next) {
        next = b->end;
        if (std::memcmp(b->type, "av1C", 4) == 0) return false;
        if (std::memcmp(b->type, "hvcC", 4) != 0) continue;
        // 22 bytes of configuration, then arrays of parameter sets by NAL unit type.
        uint64_t p = b->body + 22;
        if (p + 1 > b->end) return false;
        const int arrays = d[p++];
        for (int a = 0; a < arrays; ++a) {
            if (p + 3 > b->end) return false;
            const int nalType = d[p] & 0x3F;
            const int count = (d[p + 1] << 8) | d[p + 2];
            p += 3;
            for (int n = 0; n < count; ++n) {
                if (p + 2 > b->end) return false;
                const uint64_t length = (uint64_t(d[p]) << 8) | d[p + 1];
                p += 2;
                if (length > b->end - p) return false;
                if (nalType == 33) {  // a sequence parameter set
                    const auto size = hevcPictureSize(d.subspan(p, length));
                    if (!size || size->first < 1 || size->second < 1 || size->first > maxWidth ||
                        size->second > maxHeight)
                        return false;
                }
                p += length;
            }
        }
    }
    return true;
}

// HEIF straight through libheif: OpenImageIO's reader copies rows of the size the header
// claims out of whatever the codec produced, which a crafted file makes smaller. Here
// the decoded plane must have the header's size before a row is copied.
std::optional<RgbaImage> decodeHeif(std::span<const uint8_t> data, uint64_t maxPixels) {
    std::unique_ptr<heif_context, void (*)(heif_context*)> ctx(heif_context_alloc(), heif_context_free);
    if (!ctx || heif_context_read_from_memory_without_copy(ctx.get(), data.data(), data.size(), nullptr).code !=
                    heif_error_Ok)
        return std::nullopt;
    heif_image_handle* rawHandle = nullptr;
    if (heif_context_get_primary_image_handle(ctx.get(), &rawHandle).code != heif_error_Ok) return std::nullopt;
    std::unique_ptr<heif_image_handle, void (*)(const heif_image_handle*)> handle(rawHandle,
                                                                                   heif_image_handle_release);
    const int width = heif_image_handle_get_width(handle.get());
    const int height = heif_image_handle_get_height(handle.get());
    if (width < 1 || height < 1 || uint64_t(width) * uint64_t(height) > maxPixels) return std::nullopt;
    if (!heifCodecsWithin(data, uint64_t(width), uint64_t(height))) return std::nullopt;
    // A grid's own header names the size of the canvas its tiles are drawn into, which
    // libheif allocates whatever the image's size says (a crafted file had it read that
    // header from bytes outside the grid's data); held to the same bound.
    heif_context_set_maximum_image_size_limit(ctx.get(), 2 * std::max(width, height) + 64);
    heif_image* rawImage = nullptr;
    if (heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, nullptr).code !=
        heif_error_Ok)
        return std::nullopt;
    std::unique_ptr<heif_image, void (*)(const heif_image*)> decoded(rawImage, heif_image_release);
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(decoded.get(), heif_channel_interleaved, &stride);
    if (!plane || heif_image_get_width(decoded.get(), heif_channel_interleaved) != width ||
        heif_image_get_height(decoded.get(), heif_channel_interleaved) != height ||
        heif_image_get_bits_per_pixel_range(decoded.get(), heif_channel_interleaved) != 8 ||
        stride < 4 * width)
        return std::nullopt;
    RgbaImage image = RgbaImage::blank(width, height);
    for (int y = 0; y < height; ++y)
        std::memcpy(image.row(y), plane + static_cast<size_t>(y) * static_cast<size_t>(stride), size_t(width) * 4);
    if (heif_image_handle_has_alpha_channel(handle.get()) && heif_image_handle_is_premultiplied_alpha(handle.get()))
        unpremultiply(image);
    return image;
}

// TIFF straight through libtiff, over the bytes in memory: OpenImageIO's TIFF reader let
// a crafted file corrupt the heap. Here every size is checked against the pixel cap and
// the image before a buffer is allocated, libtiff's own allocations are capped, its
// messages go nowhere, and any error it reports fails the whole decode.
struct TiffSource {
    std::span<const uint8_t> data;
    uint64_t pos = 0;
    bool failed = false;  // libtiff reported an error (warnings are ignored)
};

tmsize_t tiffRead(thandle_t h, void* buf, tmsize_t size) {
    auto& src = *static_cast<TiffSource*>(h);
    if (size <= 0 || src.pos >= src.data.size()) return 0;
    const uint64_t n = std::min<uint64_t>(uint64_t(size), src.data.size() - src.pos);
    std::memcpy(buf, src.data.data() + src.pos, n);
    src.pos += n;
    return static_cast<tmsize_t>(n);
}
tmsize_t tiffWrite(thandle_t, void*, tmsize_t) { return -1; }
toff_t tiffSeek(thandle_t h, toff_t off, int whence) {
    auto& src = *static_cast<TiffSource*>(h);
    uint64_t base = 0;
    if (whence == SEEK_CUR) base = src.pos;
    else if (whence == SEEK_END) base = src.data.size();
    else if (whence != SEEK_SET) return toff_t(-1);
    // Offsets arrive unsigned; a "negative" one (from SEEK_CUR or SEEK_END) wraps and may
    // not go before the start. Any position past the end may be sought but reads nothing.
    if (whence != SEEK_SET && int64_t(off) < 0 && uint64_t(0) - off > base) return toff_t(-1);
    src.pos = base + off;
    return src.pos;
}
int tiffClose(thandle_t) { return 0; }
toff_t tiffSize(thandle_t h) { return static_cast<TiffSource*>(h)->data.size(); }
int tiffMap(thandle_t, void**, toff_t*) { return 0; }
void tiffUnmap(thandle_t, void*, toff_t) {}
int tiffError(TIFF*, void* user, const char*, const char*, va_list) {
    static_cast<TiffSource*>(user)->failed = true;
    return 1;  // handled: nothing printed
}
int tiffWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// libtiff allocates per strip or tile (compressed bytes, codec state) and for the strip
// tables; none of that may exceed what one band of ours may hold.
constexpr uint64_t kMaxTiffAlloc = kMaxBandBytes + (uint64_t(64) << 20);

struct TiffLayout {
    uint32_t width = 0, height = 0;
    int samples = 0;   // samples per pixel in the file
    int used = 0;      // of those, the ones kept: grey or RGB, then alpha
    int bytes = 0;     // per sample: 1, 2 or 4 (float)
    bool floating = false;
    bool associated = false;
    bool separate = false;
    bool tiled = false;
    uint32_t bandRows = 0;             // rows per strip, or tile height
    uint32_t tileWidth = 0;            // tiled only
};

// One sample of any kept type to 8 or 16 bits, as the OpenImageIO conversion rounded.
inline uint8_t sampleTo8(const uint8_t* p, const TiffLayout& l) {
    if (l.bytes == 1) return *p;
    if (l.bytes == 2) {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return static_cast<uint8_t>((uint32_t(v) + 128) / 257);
    }
    float f;
    std::memcpy(&f, p, 4);
    return f > 0.0f ? static_cast<uint8_t>(std::lround(std::min(f, 1.0f) * 255.0f)) : 0;  // NaN gives 0
}
inline uint16_t sampleTo16(const uint8_t* p, const TiffLayout& l) {
    if (l.bytes == 1) return static_cast<uint16_t>(*p * 257);
    if (l.bytes == 2) {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    float f;
    std::memcpy(&f, p, 4);
    return f > 0.0f ? static_cast<uint16_t>(std::lround(std::min(f, 1.0f) * 65535.0f)) : 0;
}

// The kept samples of `rows` rows, interleaved (`used` per pixel, file's type), into
// RGBA rows starting at y0.
void packTiffBand(const uint8_t* band, const TiffLayout& l, uint32_t rows, std::vector<uint8_t>& scratch,
                  RgbaImage& image, uint32_t y0) {
    const uint64_t count = uint64_t(l.width) * rows * uint64_t(l.used);
    image.bytes.resize((uint64_t(y0) + rows) * image.stride);
    if (!l.associated && l.bytes == 1) {  // already what packBand takes
        packBand(band, l.used, false, int(l.width), int(rows), image, int(y0));
        return;
    }
    scratch.resize(count * (l.associated ? 2 : 1));
    if (l.associated) {
        auto* out = reinterpret_cast<uint16_t*>(scratch.data());
        for (uint64_t i = 0; i < count; ++i) out[i] = sampleTo16(band + i * uint64_t(l.bytes), l);
    } else {
        for (uint64_t i = 0; i < count; ++i) scratch[i] = sampleTo8(band + i * uint64_t(l.bytes), l);
    }
    packBand(scratch.data(), l.used, l.associated, int(l.width), int(rows), image, int(y0));
}

// A strip or tile the file gives no bytes for (a table shorter than the image needs
// leaves zeros) is refused: libtiff would read it from offset 0, the header.
bool chunkStored(TIFF* tif, uint32_t index) {
    int err = 0;
    const bool stored = TIFFGetStrileOffsetWithErr(tif, index, &err) != 0 &&
                        TIFFGetStrileByteCountWithErr(tif, index, &err) != 0;
    return stored && err == 0;
}

// Grey, grey + alpha, RGB and RGBA at 8, 16 or 32-bit float, read strip by strip or
// tile by tile in the file's own samples.
std::optional<RgbaImage> decodeTiffSamples(TIFF* tif, const TiffSource& src, const TiffLayout& l) {
    const uint64_t planes = l.separate ? uint64_t(l.used) : 1;
    const uint64_t perPlane = l.separate ? 1 : uint64_t(l.samples);  // samples per pixel in one plane
    const uint64_t pixelBytes = uint64_t(l.used) * uint64_t(l.bytes);  // in the band we gather
    // A tile may be taller than the image; the band holds only the image's rows.
    const uint64_t bandBytes = uint64_t(std::min(l.bandRows, l.height)) * l.width * pixelBytes;
    // What libtiff will hand back for one strip or tile must be exactly what the layout
    // says: anything else (subsampling, a codec's own idea of the size) is refused.
    uint64_t chunkBytes = 0, chunkWidth = l.width;
    if (l.tiled) {
        chunkWidth = l.tileWidth;
        chunkBytes = uint64_t(TIFFTileSize64(tif));
    } else {
        chunkBytes = uint64_t(TIFFStripSize64(tif));
    }
    if (chunkBytes == 0 || chunkBytes != uint64_t(l.bandRows) * chunkWidth * perPlane * uint64_t(l.bytes))
        return std::nullopt;
    if (chunkBytes > kMaxBandBytes || bandBytes > kMaxBandBytes) return std::nullopt;

    // libtiff can report a strip read while leaving the buffer unwritten (a deflate
    // strip holding more than its rows), so the buffer starts zeroed: stale heap bytes
    // never reach the pixels. calloc zeroes large blocks for free (fresh pages). The band
    // is written whole from it each time.
    std::unique_ptr<uint8_t, void (*)(void*)> chunk(static_cast<uint8_t*>(std::calloc(chunkBytes, 1)), std::free);
    if (!chunk) return std::nullopt;
    // A strip of interleaved samples, all of them kept, is already the band: no copy.
    const bool stripIsBand = !l.tiled && !l.separate && l.samples == l.used;
    std::unique_ptr<uint8_t[]> band;
    std::vector<uint8_t> scratch;
    RgbaImage image;
    try {
        if (!stripIsBand) band = std::make_unique_for_overwrite<uint8_t[]>(bandBytes);
        image = imageToFill(l.width, l.height);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    const uint64_t sampleBytes = uint64_t(l.bytes);
    const uint32_t stripsPerPlane = l.tiled ? 0 : (l.height + l.bandRows - 1) / l.bandRows;
    for (uint32_t y0 = 0; y0 < l.height; y0 += l.bandRows) {
        const uint32_t rows = std::min(l.bandRows, l.height - y0);
        for (uint32_t x0 = 0; x0 < l.width; x0 += uint32_t(chunkWidth)) {
            const uint32_t cols = uint32_t(std::min<uint64_t>(chunkWidth, l.width - x0));
            for (uint64_t plane = 0; plane < planes; ++plane) {
                // Only whole strips or tiles are read; the last strip is shorter.
                const uint64_t want = (l.tiled ? uint64_t(l.bandRows) : rows) * chunkWidth * perPlane * sampleBytes;
                const uint32_t index = l.tiled ? TIFFComputeTile(tif, x0, y0, 0, uint16_t(plane))
                                               : uint32_t(plane) * stripsPerPlane + y0 / l.bandRows;
                if (!chunkStored(tif, index)) return std::nullopt;
                const tmsize_t got = l.tiled ? TIFFReadEncodedTile(tif, index, chunk.get(), tmsize_t(chunkBytes))
                                             : TIFFReadEncodedStrip(tif, index, chunk.get(), tmsize_t(want));
                if (got < 0 || uint64_t(got) != want || src.failed) return std::nullopt;
                if (stripIsBand) continue;
                // Gather the kept samples of this strip or tile into the interleaved band.
                const uint64_t keep = l.separate ? 1 : uint64_t(l.used);
                const uint64_t inPixel = perPlane * sampleBytes;
                for (uint32_t r = 0; r < rows; ++r) {
                    const uint8_t* in = chunk.get() + uint64_t(r) * chunkWidth * inPixel;
                    uint8_t* out = band.get() + (uint64_t(r) * l.width + x0) * pixelBytes + plane * sampleBytes;
                    if (!l.separate && keep == perPlane) {
                        std::memcpy(out, in, uint64_t(cols) * inPixel);
                        continue;
                    }
                    for (uint32_t c = 0; c < cols; ++c, in += inPixel, out += pixelBytes)
                        std::memcpy(out, in, keep * sampleBytes);
                }
            }
        }
        packTiffBand(stripIsBand ? chunk.get() : band.get(), l, rows, scratch, image, y0);
    }
    if (src.failed) return std::nullopt;
    return image;
}

// Everything else libtiff's RGBA reader understands (palette, 1 to 4-bit, YCbCr, CMYK,
// Lab, ...), a strip or a row of tiles at a time. It hands out premultiplied alpha, so
// alpha is divided out afterwards.
std::optional<RgbaImage> decodeTiffRgba(TIFF* tif, const TiffSource& src, const TiffLayout& l) {
    char message[1024] = {};
    if (!TIFFRGBAImageOK(tif, message)) return std::nullopt;
    TIFFRGBAImage rgba{};
    if (!TIFFRGBAImageBegin(&rgba, tif, 1, message)) return std::nullopt;
    std::unique_ptr<TIFFRGBAImage, void (*)(TIFFRGBAImage*)> end(&rgba, TIFFRGBAImageEnd);
    // Rows as stored, top first: the file's orientation is not applied, as on every
    // other path.
    rgba.req_orientation = ORIENTATION_TOPLEFT;
    rgba.orientation = ORIENTATION_TOPLEFT;
    // Bands of whole strips or rows of tiles, but no taller than the image.
    const uint32_t bandRows = std::min(l.bandRows, l.height);
    const uint64_t bandBytes = uint64_t(bandRows) * l.width * 4;
    if (bandBytes > kMaxBandBytes) return std::nullopt;
    // The reader picks its strips and tiles itself, so all are checked first (there are
    // no more of them than pixels, times planes, which the pixel cap bounds).
    const uint32_t chunks = l.tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    for (uint32_t i = 0; i < chunks; ++i)
        if (!chunkStored(tif, i)) return std::nullopt;
    // Zeroed for the same reason as a strip buffer above.
    std::unique_ptr<uint32_t, void (*)(void*)> raster(
        static_cast<uint32_t*>(std::calloc(uint64_t(bandRows) * l.width, sizeof(uint32_t))), std::free);
    if (!raster) return std::nullopt;
    RgbaImage image;
    try {
        image = imageToFill(l.width, l.height);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    for (uint32_t y0 = 0; y0 < l.height; y0 += bandRows) {
        const uint32_t rows = std::min(bandRows, l.height - y0);
        rgba.row_offset = int(y0);
        rgba.col_offset = 0;
        if (!TIFFRGBAImageGet(&rgba, raster.get(), l.width, rows) || src.failed) return std::nullopt;
        image.bytes.resize((uint64_t(y0) + rows) * image.stride);
        uint8_t* out = image.row(int(y0));
        for (uint64_t i = 0; i < uint64_t(rows) * l.width; ++i, out += 4) {
            const uint32_t v = raster.get()[i];
            out[0] = uint8_t(TIFFGetR(v));
            out[1] = uint8_t(TIFFGetG(v));
            out[2] = uint8_t(TIFFGetB(v));
            out[3] = uint8_t(TIFFGetA(v));
        }
    }
    if (rgba.alpha != 0) unpremultiply(image);
    return image;
}

std::optional<RgbaImage> decodeTiffOpened(TIFF* tif, const TiffSource& src, uint64_t maxPixels) {
    TiffLayout l;
    uint16_t bits = 0, samples = 0, format = 0, planar = 0, photometric = 0, compression = 0;
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &l.width) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &l.height) ||
        !TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric))
        return std::nullopt;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    // The pixel cap first, before anything is allocated for the pixels.
    if (l.width < 1 || l.height < 1 || l.width > uint32_t(INT32_MAX) || l.height > uint32_t(INT32_MAX) ||
        uint64_t(l.width) * l.height > maxPixels)
        return std::nullopt;
    if (samples < 1 || samples > kMaxChannels || bits < 1 || bits > 64) return std::nullopt;
    l.samples = samples;
    l.separate = planar == PLANARCONFIG_SEPARATE && samples > 1;
    l.tiled = TIFFIsTiled(tif) != 0;
    if (l.tiled) {
        uint32_t tw = 0, th = 0;
        if (!TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw) || !TIFFGetField(tif, TIFFTAG_TILELENGTH, &th)) return std::nullopt;
        // A tile far larger than the image would have the decoder allocate for pixels
        // that are not there.
        const uint64_t pixels = uint64_t(l.width) * l.height;
        if (tw < 1 || th < 1 || uint64_t(tw) * th > 4 * pixels + 65536) return std::nullopt;
        l.tileWidth = tw;
        l.bandRows = th;
    } else {
        uint32_t rps = 0;
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rps);
        l.bandRows = std::clamp<uint32_t>(rps, 1, l.height);
    }
    // JPEG-compressed YCbCr comes out of libtiff's codec as RGB.
    if (compression == COMPRESSION_JPEG && photometric == PHOTOMETRIC_YCBCR) {
        if (!TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB)) return std::nullopt;
        photometric = PHOTOMETRIC_RGB;
    }
    const int colour = photometric == PHOTOMETRIC_RGB ? 3 : photometric == PHOTOMETRIC_MINISBLACK ? 1 : 0;
    const bool integer = (format == SAMPLEFORMAT_UINT || format == SAMPLEFORMAT_VOID) && (bits == 8 || bits == 16);
    const bool floating = format == SAMPLEFORMAT_IEEEFP && bits == 32;
    if (colour > 0 && samples >= colour && (integer || floating)) {
        l.used = std::min(samples, uint16_t(colour + 1));
        l.bytes = bits / 8;
        l.floating = floating;
        if (l.used > colour) {
            // The first extra sample is the alpha; associated alpha is divided out.
            uint16_t extraCount = 0;
            const uint16_t* extra = nullptr;
            if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extra) && extraCount > 0 && extra)
                l.associated = extra[0] == EXTRASAMPLE_ASSOCALPHA;
        }
        return decodeTiffSamples(tif, src, l);
    }
    if (format == SAMPLEFORMAT_IEEEFP || format == SAMPLEFORMAT_INT || bits > 16) return std::nullopt;
    return decodeTiffRgba(tif, src, l);
}

std::optional<RgbaImage> decodeTiff(std::span<const uint8_t> data, uint64_t maxPixels) {
    TiffSource src{data};
    std::unique_ptr<TIFFOpenOptions, void (*)(TIFFOpenOptions*)> options(TIFFOpenOptionsAlloc(), TIFFOpenOptionsFree);
    if (!options) return std::nullopt;
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), tmsize_t(kMaxTiffAlloc));
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), tiffError, &src);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), tiffWarning, &src);
    // "r": read only; "m": no memory mapping, every byte comes through tiffRead.
    std::unique_ptr<TIFF, void (*)(TIFF*)> tif(
        TIFFClientOpenExt("memory.tif", "rm", &src, tiffRead, tiffWrite, tiffSeek, tiffClose, tiffSize, tiffMap,
                          tiffUnmap, options.get()),
        TIFFClose);
    if (!tif || src.failed) return std::nullopt;
    try {
        return decodeTiffOpened(tif.get(), src, maxPixels);
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<RgbaImage> decodeBytes(std::span<const uint8_t> data, uint64_t maxPixels) {
    const auto format = formatOf(data);
    if (!format) return std::nullopt;
    if (*format == Format::png && !pngPlausible(data)) return std::nullopt;
    if (*format == Format::jpeg && !jpegPlausible(data)) return std::nullopt;
    if (*format == Format::heif) return decodeHeif(data, maxPixels);
    if (*format == Format::tiff) return decodeTiff(data, maxPixels);
    OIIO::Filesystem::IOMemReader reader(data.data(), data.size());
    return decodeWith(*format, std::string("memory.") + extensionOf(*format), &reader, maxPixels);
}

}  // namespace

std::optional<RgbaImage> decodeFile(const fs::path& path, uint64_t maxPixels) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return std::nullopt;
    const auto bytes = pk::readFile(path, kMaxEncodedBytes);
    if (!bytes) return std::nullopt;
    return decodeBytes(*bytes, maxPixels);
}

std::optional<RgbaImage> decodeMemory(std::span<const uint8_t> data, uint64_t maxPixels) {
    return decodeBytes(data, maxPixels);
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
    // The same size is the same picture: nothing to filter.
    if (width == source.width && height == source.height && source.holdsPixels()) return source;
    RgbaImage out = RgbaImage::blank(width, height);
    if (out.empty() || !source.holdsPixels()) return out;
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
