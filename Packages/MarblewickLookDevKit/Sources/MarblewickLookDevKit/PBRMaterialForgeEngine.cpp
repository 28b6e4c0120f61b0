#include "MarblewickLookDevKit/PBRMaterialForgeEngine.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

#include "embedded/synth_photo_glsl.h"
#include "embedded/synth_preset_glsl.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Gpu/Passes.h"
#include "PlatformKit/Image/Downscale.h"

namespace lookdev {

using namespace pk::gpu;

namespace {

GPUSynthUniforms uniformsFor(const PBRMaterialParameters& p, int side) {
    GPUSynthUniforms u{};
    u.presetID = p.preset.rawValue();
    u.width = static_cast<uint32_t>(side);
    u.height = static_cast<uint32_t>(side);
    u.tilingScale = p.tilingScale;
    // A NaN relief would reach the kernel's clamp, whose result is then undefined; the
    // smallest slope is what every other out-of-range value gets.
    u.reliefStrength = std::isnan(p.reliefStrength) ? 0.0f : p.reliefStrength;
    u.roughnessBias = p.roughnessBias;
    u.metallicBias = p.metallicBias;
    u.weathering = p.weathering;
    u.emissiveGain = p.emissiveGain;
    u.seed = p.seed;
    u.tintR = p.tintR;
    u.tintG = p.tintG;
    u.tintB = p.tintB;
    u.pad0 = 0.0f;
    return u;
}

// With their full mip chain, so maps seen smaller than their texels are filtered.
TextureDesc mapDesc(int side) {
    return {PixelFormat::rgba8Unorm, side, side, fullMipLevels(side, side), 1, usageShaderRead | usageShaderWrite};
}

}  // namespace

int PBRMaterialForgeEngine::mapSide(int64_t resolution) {
    return static_cast<int>(std::clamp<int64_t>(resolution, 256, 4096));
}

int PBRMaterialForgeEngine::photoSide(int64_t side) { return static_cast<int>(std::clamp<int64_t>(side, 64, 2048)); }

std::shared_ptr<PBRMaterialForgeEngine> PBRMaterialForgeEngine::create(std::shared_ptr<Device> device) {
    if (!device) return nullptr;
    try {
        std::shared_ptr<PBRMaterialForgeEngine> engine(new PBRMaterialForgeEngine());
        engine->device_ = device;
        engine->synthPipeline_ = device->makeComputeProgram(synth_preset_glsl, "kestrelune_synthesize_pbr");
        engine->photoToPBRPipeline_ = device->makeComputeProgram(synth_photo_glsl, "kestrelune_photo_to_pbr");
        engine->photoSampler_ = device->makeSampler(
            {Filter::linear, Filter::linear, false, AddressMode::repeat, AddressMode::repeat});
        // Warm-up: the first dispatch of a program pays for its final compilation.
        PBRMaterialParameters warm;
        warm.resolution = 256;
        if (!engine->synthesize(warm)) return nullptr;
        if (!engine->synthesizeFromCGImage(pk::image::RgbaImage::blank(64, 64), "warm-up", warm)) return nullptr;
        return engine;
    } catch (...) {
        return nullptr;
    }
}

std::optional<SynthesizedPBRPack> PBRMaterialForgeEngine::run(const PBRMaterialParameters& parameters,
                                                              const pk::image::RgbaImage* photo) const {
    try {
        std::shared_ptr<Texture> photoTexture;
        if (photo) {
            const int w = photoSide(photo->width), h = photoSide(photo->height);
            pk::image::RgbaImage bitmap = pk::image::resized(*photo, w, h);
            pk::image::premultiplyAlpha(bitmap);
            photoTexture = device_->makeTexture({PixelFormat::rgba8Unorm, w, h, 1, 1, usageShaderRead});
            device_->upload(*photoTexture, bitmap.bytes.data(), bitmap.stride);
        }
        const int side = mapSide(parameters.resolution);
        SynthesizedPBRPack pack;
        pack.parameters = parameters;
        pack.albedo = device_->makeTexture(mapDesc(side));
        pack.normal = device_->makeTexture(mapDesc(side));
        pack.orm = device_->makeTexture(mapDesc(side));
        pack.emissive = device_->makeTexture(mapDesc(side));
        const GPUSynthUniforms uniforms = uniformsFor(parameters, side);

        double seconds = device_->run([&] {
            using Clock = std::chrono::steady_clock;
            const auto t0 = Clock::now();
            {
                ComputePass pass(*device_);
                if (photo) {
                    pass.setProgram(*photoToPBRPipeline_);
                    pass.setUniformBytes(0, &uniforms, sizeof uniforms);
                    pass.setTexture(0, *photoTexture, *photoSampler_);
                    pass.setImage(1, *pack.albedo, ImageAccess::writeOnly);
                    pass.setImage(2, *pack.normal, ImageAccess::writeOnly);
                    pass.setImage(3, *pack.orm, ImageAccess::writeOnly);
                    pass.setImage(4, *pack.emissive, ImageAccess::writeOnly);
                } else {
                    pass.setProgram(*synthPipeline_);
                    pass.setUniformBytes(0, &uniforms, sizeof uniforms);
                    pass.setImage(0, *pack.albedo, ImageAccess::writeOnly);
                    pass.setImage(1, *pack.normal, ImageAccess::writeOnly);
                    pass.setImage(2, *pack.orm, ImageAccess::writeOnly);
                    pass.setImage(3, *pack.emissive, ImageAccess::writeOnly);
                }
                pass.dispatchThreads(static_cast<uint32_t>(side), static_cast<uint32_t>(side), 1);
            }
            device_->finish();
            const double dispatchSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
            // Once per synthesis, after the timed dispatch; level 0 stays as written.
            for (Texture* map : {pack.albedo.get(), pack.normal.get(), pack.orm.get(), pack.emissive.get()})
                device_->generateMipmaps(*map);
            return dispatchSeconds;
        });
        pack.synthesisMs = std::round(seconds * 1000.0 * 100.0) / 100.0;
        return pack;
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<SynthesizedPBRPack> PBRMaterialForgeEngine::synthesize(const PBRMaterialParameters& parameters) const {
    return run(parameters, nullptr);
}

std::optional<SynthesizedPBRPack> PBRMaterialForgeEngine::synthesizeFromPhoto(
    const std::filesystem::path& imageURL, const PBRMaterialParameters& parameters) const {
    auto image = pk::image::decodeFile(imageURL);
    if (!image) return std::nullopt;
    return synthesizeFromCGImage(*image, pk::stem(imageURL), parameters);
}

std::optional<SynthesizedPBRPack> PBRMaterialForgeEngine::synthesizeFromCGImage(
    const pk::image::RgbaImage& image, const std::string& sourceName, const PBRMaterialParameters& parameters) const {
    // An image whose bytes do not hold every row (a short buffer, a stride narrower than
    // a row) is refused before anything reads it.
    if (!image.holdsPixels()) return std::nullopt;
    PBRMaterialParameters named = parameters;
    named.sourcePhotoName = sourceName;
    return run(named, &image);
}

namespace {

// Mip level `level` of an RGBA8 map as an image; none when it cannot be read.
std::optional<pk::image::RgbaImage> readLevel(Device& device, const Texture& texture, int level) {
    if (texture.format() != PixelFormat::rgba8Unorm || texture.desc().sampleCount != 1) return std::nullopt;
    pk::image::RgbaImage image;
    try {
        image.width = std::max(1, texture.width() >> level);
        image.height = std::max(1, texture.height() >> level);
        image.stride = static_cast<size_t>(image.width) * 4;
        image.bytes = device.readback(texture, ByteOrder::rgba, level);
    } catch (...) {
        return std::nullopt;
    }
    return image;
}

// The size a map of w x h takes at most maxDimension on its longer side; none when it
// already fits.
std::optional<std::pair<int, int>> fittedSize(int w, int h, std::optional<int> maxDimension) {
    const int larger = std::max(w, h);
    if (!maxDimension || *maxDimension >= larger) return std::nullopt;
    const double factor = static_cast<double>(*maxDimension) / larger;
    return std::pair{std::max(1, static_cast<int>(factor * w)), std::max(1, static_cast<int>(factor * h))};
}

}  // namespace

std::optional<pk::image::RgbaImage> PBRMaterialForgeEngine::makeCGImage(Device& device, const Texture& texture,
                                                                         std::optional<int> maxDimension) {
    auto full = readLevel(device, texture, 0);
    if (!full) return std::nullopt;
    if (auto size = fittedSize(full->width, full->height, maxDimension))
        return pk::image::downscaledBox(*full, size->first, size->second);
    return full;
}

PBRMapPreviews PBRMaterialForgeEngine::makePreviews(Device& device, const SynthesizedPBRPack& pack, int size) {
    auto preview = [&](const std::shared_ptr<Texture>& t) -> std::optional<pk::image::RgbaImage> {
        if (!t) return std::nullopt;
        const auto target = fittedSize(t->width(), t->height(), size);
        if (!target) return makeCGImage(device, *t);
        // The smallest built level still at least the preview's size: a box filter over
        // the chain's box-filtered levels gives the preview without reading level 0.
        int level = 0;
        while (level + 1 < t->desc().mipLevels && (t->width() >> (level + 1)) >= target->first &&
               (t->height() >> (level + 1)) >= target->second)
            ++level;
        auto image = readLevel(device, *t, level);
        if (!image) return std::nullopt;
        return pk::image::downscaledBox(*image, target->first, target->second);
    };
    return {preview(pack.albedo), preview(pack.normal), preview(pack.orm), preview(pack.emissive)};
}

bool PBRMaterialForgeEngine::writePNG(Device& device, const Texture& texture, const std::filesystem::path& url) {
    auto image = makeCGImage(device, texture);
    if (!image) return false;
    try {
        pk::image::writePng(url, *image, {.atomic = true});  // never a cut-off file under the name
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace lookdev
