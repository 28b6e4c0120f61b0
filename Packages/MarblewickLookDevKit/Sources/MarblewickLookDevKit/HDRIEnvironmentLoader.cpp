#include "MarblewickLookDevKit/HDRIEnvironmentLoader.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#define GLM_FORCE_RADIANS
#include <glm/gtc/packing.hpp>

#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Image/Image.h"
#include "PlatformKit/Math/Math.h"

namespace lookdev {

namespace {

bool isAsciiSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// A header line as text: not ASCII counts as empty; trimmed of white space.
std::string asciiLine(std::span<const uint8_t> bytes) {
    for (uint8_t b : bytes)
        if (b > 127) return {};
    std::string_view s(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    while (!s.empty() && isAsciiSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && isAsciiSpace(s.back())) s.remove_suffix(1);
    return std::string(s);
}

// A decimal integer with an optional sign, as a whole token; none on overflow.
std::optional<int64_t> parseDecimal(std::string_view s) {
    bool negative = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    if (s.empty()) return std::nullopt;
    int64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        if (v > (INT64_MAX - (c - '0')) / 10) return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return negative ? -v : v;
}

std::optional<LoadedHDRIEnvironment> upload(const HalfFloatImage& image, std::string name, bool radiance,
                                            pk::gpu::Device& device) {
    try {
        pk::gpu::TextureDesc desc;
        desc.format = pk::gpu::PixelFormat::rgba16Float;
        desc.width = static_cast<int>(image.width);
        desc.height = static_cast<int>(image.height);
        desc.usage = pk::gpu::usageShaderRead;
        auto texture = device.makeTexture(desc);
        device.upload(*texture, image.rgbaHalf.data(), static_cast<size_t>(image.width) * 8);
        return LoadedHDRIEnvironment{std::move(name), image.width, image.height, std::move(texture), radiance};
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace

std::optional<HalfFloatImage> HDRIEnvironmentLoader::decodeRadiance(std::span<const uint8_t> data) {
    const uint64_t size = data.size();
    if (size < 33) return std::nullopt;

    // Header: lines up to the first empty one.
    uint64_t pos = 0;
    for (;;) {
        if (pos >= size) return std::nullopt;
        const uint8_t* start = data.data() + pos;
        const auto* nl = static_cast<const uint8_t*>(std::memchr(start, '\n', size - pos));
        if (!nl) return std::nullopt;  // data ended before an empty line
        const uint64_t len = static_cast<uint64_t>(nl - start);
        const std::string line = asciiLine(data.subspan(pos, len));
        pos += len + 1;
        if (line.empty()) break;
    }

    // Resolution line: parts 2 and 4 are height and width.
    uint64_t lineEnd = pos;
    while (lineEnd < size && data[lineEnd] != '\n') ++lineEnd;
    std::vector<std::string_view> parts;
    {
        for (uint64_t i = pos; i < lineEnd; ++i)
            if (data[i] > 127) return std::nullopt;
        std::string_view line(reinterpret_cast<const char*>(data.data() + pos), lineEnd - pos);
        size_t i = 0;
        while (i < line.size()) {
            size_t j = line.find(' ', i);
            if (j == std::string_view::npos) j = line.size();
            if (j > i) parts.push_back(line.substr(i, j - i));
            i = j + 1;
        }
    }
    if (parts.size() < 4) return std::nullopt;
    const auto height = parseDecimal(parts[1]);
    const auto width = parseDecimal(parts[3]);
    if (!height || !width) return std::nullopt;
    if (*width < 1 || *width > kMaxRadianceWidth || *height < 1 || *height > kMaxRadianceHeight) return std::nullopt;
    pos = lineEnd < size ? lineEnd + 1 : size;

    const uint64_t w = static_cast<uint64_t>(*width), h = static_cast<uint64_t>(*height);
    const uint64_t rowBytes = w * 4;
    std::vector<uint8_t> row(rowBytes, 0);

    // One scanline into the row buffer; false when the data ends first (a flat row needs all
    // of its bytes, a run-length row all four channels to the row's end).
    enum class Row { complete, partial, missing };
    auto decodeRow = [&]() {
        const bool rle = size - pos >= 4 && data[pos] == 2 && data[pos + 1] == 2 && data[pos + 2] == ((w >> 8) & 0xFF) &&
                         data[pos + 3] == (w & 0xFF);
        if (!rle) {
            if (size - pos < rowBytes) return Row::missing;
            std::copy(data.begin() + static_cast<ptrdiff_t>(pos), data.begin() + static_cast<ptrdiff_t>(pos + rowBytes),
                      row.begin());
            pos += rowBytes;
            return Row::complete;
        }
        pos += 4;
        bool complete = true;
        for (uint64_t channel = 0; channel < 4; ++channel) {
            uint64_t x = 0;
            while (x < w && pos < size) {
                const uint8_t count = data[pos++];
                if (count > 128) {
                    if (pos >= size) break;
                    const uint8_t value = data[pos++];
                    const uint64_t run = count - 128u;
                    for (uint64_t k = 0; k < run && x < w; ++k, ++x) row[4 * x + channel] = value;
                } else {
                    for (uint64_t k = 0; k < count && x < w && pos < size; ++k, ++x) row[4 * x + channel] = data[pos++];
                }
            }
            complete = complete && x == w;
        }
        return complete ? Row::complete : Row::partial;
    };

    // A header alone would otherwise make a black panorama of up to 8192 x 4096: a file is
    // decoded only when its first row is all there, before the image is allocated.
    if (decodeRow() != Row::complete) return std::nullopt;
    std::vector<uint8_t> rgbe(rowBytes * h, 0);
    std::copy(row.begin(), row.end(), rgbe.begin());
    for (uint64_t r = 1; r < h; ++r) {
        if (decodeRow() == Row::missing) break;  // truncated: this row and the rest stay black
        std::copy(row.begin(), row.end(), rgbe.begin() + static_cast<ptrdiff_t>(r * rowBytes));
    }

    HalfFloatImage out;
    out.width = *width;
    out.height = *height;
    out.rgbaHalf.resize(w * h * 4);
    const uint16_t one = glm::packHalf1x16(1.0f);
    const uint16_t zero = glm::packHalf1x16(0.0f);
    for (uint64_t i = 0; i < w * h; ++i) {
        const uint8_t e = rgbe[4 * i + 3];
        uint16_t* px = &out.rgbaHalf[4 * i];
        if (e == 0) {
            px[0] = px[1] = px[2] = zero;
        } else {
            const float f = std::ldexp(1.0f, static_cast<int>(e) - 136);
            for (int c = 0; c < 3; ++c) px[c] = glm::packHalf1x16(std::min(static_cast<float>(rgbe[4 * i + c]) * f, 60.0f));
        }
        px[3] = one;
    }
    return out;
}

std::optional<LoadedHDRIEnvironment> HDRIEnvironmentLoader::loadRadianceHDR(const std::filesystem::path& url,
                                                                          pk::gpu::Device& device) {
    // The largest valid file: 8192 × 4096 flat pixels plus a header.
    auto bytes = pk::readFile(url, UINT64_C(1) << 30);
    if (!bytes) return std::nullopt;
    auto image = decodeRadiance(*bytes);
    if (!image) return std::nullopt;
    return upload(*image, pk::stem(url), true, device);
}

std::optional<HalfFloatImage> HDRIEnvironmentLoader::decodePanoramicImage(const std::filesystem::path& url) {
    auto source = pk::image::decodeFile(url);
    if (!source || source->empty()) return std::nullopt;
    // Stretched to the clamped size without keeping the aspect.
    const int width = std::clamp(source->width, 64, 2048);
    const int height = std::clamp(source->height, 32, 1024);
    // A panorama that already fits is used as decoded.
    const bool fits = width == source->width && height == source->height;
    pk::image::RgbaImage scaled;
    if (!fits) scaled = pk::image::resized(*source, width, height, pk::image::ResizeQuality::high);
    const pk::image::RgbaImage& bitmap = fits ? *source : scaled;

    // Tables for the 256 byte values: (b / 255)^2.2 as a float, and as the half float
    // stored with and without the highlight boost. The boost depends on the brightest
    // channel, and the curve rises with the byte, so the brightest byte decides it.
    float linear[256];
    uint16_t plainHalf[256], boostedHalf[256];
    for (int i = 0; i < 256; ++i) {
        linear[i] = std::pow(static_cast<float>(i) / 255.0f, 2.2f);
        plainHalf[i] = glm::packHalf1x16(linear[i]);
        boostedHalf[i] = glm::packHalf1x16(linear[i] * 3.2f);  // bright sources should light the scene
    }

    HalfFloatImage out;
    out.width = width;
    out.height = height;
    out.rgbaHalf.resize(static_cast<size_t>(width) * height * 4);
    const uint16_t one = glm::packHalf1x16(1.0f);
    uint16_t* px = out.rgbaHalf.data();
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = bitmap.row(y);
        for (int x = 0; x < width; ++x, px += 4) {
            // What a premultiplied bitmap would hold.
            const uint8_t a = row[4 * x + 3];
            uint8_t c[3];
            for (int k = 0; k < 3; ++k) c[k] = pk::image::premultipliedComponent(row[4 * x + k], a);
            const uint16_t* table = linear[std::max(c[0], std::max(c[1], c[2]))] > 0.88f ? boostedHalf : plainHalf;
            for (int k = 0; k < 3; ++k) px[k] = table[c[k]];
            px[3] = one;
        }
    }
    return out;
}

std::optional<LoadedHDRIEnvironment> HDRIEnvironmentLoader::loadPanoramicImage(const std::filesystem::path& url,
                                                                             pk::gpu::Device& device) {
    auto image = decodePanoramicImage(url);
    if (!image) return std::nullopt;
    return upload(*image, pk::stem(url), false, device);
}

std::optional<LoadedHDRIEnvironment> HDRIEnvironmentLoader::loadEnvironment(const std::filesystem::path& url,
                                                                          pk::gpu::Device& device) {
    if (pk::lowerExtension(url) == "hdr") {
        if (auto env = loadRadianceHDR(url, device)) return env;
    }
    return loadPanoramicImage(url, device);
}

std::vector<uint8_t> HDRIEnvironmentLoader::encodeSyntheticStudioHDR(int64_t width, int64_t height) {
    width = std::max<int64_t>(width, 0);
    height = std::max<int64_t>(height, 0);
    const std::string header = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y " + std::to_string(height) + " +X " +
                               std::to_string(width) + "\n";
    std::vector<uint8_t> out(header.begin(), header.end());
    out.reserve(out.size() + static_cast<size_t>(width * height * 4));
    const pk::float3 K = glm::normalize(pk::float3(-0.7f, 0.35f, -0.62f));
    const pk::float3 R = glm::normalize(pk::float3(0.6f, 0.55f, 0.58f));
    constexpr float kPi = 3.14159265358979f;
    for (int64_t y = 0; y < height; ++y) {
        const float phi = (static_cast<float>(y) / static_cast<float>(height)) * kPi;
        const float cphi = std::cos(phi);
        const float h = std::clamp(std::exp(-5.0f * std::fabs(cphi)), 0.0f, 1.0f);
        pk::float3 sky(0.04f + 0.32f * h, 0.06f + 0.16f * h, 0.11f + 0.03f * h);
        if (cphi < 0) sky *= 0.35f;
        const float sphi = std::sin(phi);
        for (int64_t x = 0; x < width; ++x) {
            const float theta = (2.0f * static_cast<float>(x) / static_cast<float>(width)) * kPi;
            const pk::float3 d(sphi * std::cos(theta), cphi, sphi * std::sin(theta));
            pk::float3 c = sky;
            if (glm::dot(d, R) > 0.92f) c += pk::float3(5.5f, 4.8f, 3.8f);
            if (glm::dot(d, K) > 0.91f) c += pk::float3(1.4f, 4.2f, 5.2f);
            const float m = std::max(c.r, std::max(c.g, c.b));
            if (m < 1e-6f) {
                out.insert(out.end(), {0, 0, 0, 0});
                continue;
            }
            int exponent = 0;
            const float mantissa = std::frexp(m, &exponent);
            const float s = mantissa * 256.0f / m;
            for (int k = 0; k < 3; ++k)
                out.push_back(static_cast<uint8_t>(std::clamp(std::trunc(c[k] * s), 0.0f, 255.0f)));
            out.push_back(static_cast<uint8_t>(std::clamp(exponent + 128, 0, 255)));
        }
    }
    return out;
}

void HDRIEnvironmentLoader::writeSyntheticStudioHDR(const std::filesystem::path& url, int64_t width, int64_t height) {
    if (url.has_parent_path()) pk::createDirectories(url.parent_path());
    const auto bytes = encodeSyntheticStudioHDR(width, height);
    pk::atomicWrite(url, bytes);
}

}  // namespace lookdev
