// The model reader's texture step: its first decodable base-colour image becomes the
// mesh's embedded texture.
#include <algorithm>

#include "MarblewickLookDevKit/LoadedStudioMesh.h"
#include "MarblewickLookDevKit/StudioMeshLoader.h"
#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Gpu/Device.h"
#include "PlatformKit/Image/Image.h"

namespace lookdev {

namespace {

std::optional<pk::image::RgbaImage> decodeTexture(const pk::modelimport::TextureReference& ref) {
    if (ref.isEncoded()) return pk::image::decodeMemory(ref.encoded);
    if (ref.isRaw()) {
        if (ref.width <= 0 || ref.height <= 0 || ref.rgba.size() != size_t(ref.width) * size_t(ref.height) * 4)
            return std::nullopt;
        pk::image::RgbaImage img;
        img.width = ref.width;
        img.height = ref.height;
        img.stride = size_t(ref.width) * 4;
        img.bytes = ref.rgba;
        return img;
    }
    if (ref.isFile()) return pk::image::decodeFile(ref.file);
    return std::nullopt;
}

}  // namespace

std::shared_ptr<pk::gpu::Texture> makeEmbeddedTexture(const pk::image::RgbaImage& image, pk::gpu::Device& device) {
    if (image.empty()) return nullptr;
    const int width = std::clamp(image.width, 16, 2048);
    const int height = std::clamp(image.height, 16, 2048);
    pk::image::RgbaImage pixels = pk::image::resized(image, width, height);
    if (pixels.empty()) return nullptr;
    // What drawing into a premultiplied bitmap would have left.
    pk::image::premultiplyAlpha(pixels);
    try {
        pk::gpu::TextureDesc desc;
        desc.format = pk::gpu::PixelFormat::rgba8Unorm;
        desc.width = width;
        desc.height = height;
        desc.usage = pk::gpu::usageShaderRead;
        auto texture = device.makeTexture(desc);
        if (!texture) return nullptr;
        device.upload(*texture, pixels.bytes.data(), pixels.stride);
        return texture;
    } catch (const pk::StudioError&) {
        return nullptr;
    }
}

std::shared_ptr<pk::gpu::Texture> firstEmbeddedTexture(const std::vector<pk::modelimport::TextureReference>& candidates,
                                                       pk::gpu::Device& device) {
    for (const auto& candidate : candidates) {
        if (auto image = decodeTexture(candidate)) {
            if (auto texture = makeEmbeddedTexture(*image, device)) return texture;
        }
    }
    return nullptr;
}

}  // namespace lookdev
