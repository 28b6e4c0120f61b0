#pragma once
// Plain descriptions of GPU objects, shared by the device and its handles.
#include <cstddef>
#include <cstdint>

namespace pk::gpu {

// Texture formats. There is no BGRA storage format: BGRA byte order is chosen at
// upload and readback time.
enum class PixelFormat { rgba8Unorm, rgba16Float, depth32Float };

// Bytes per pixel of a format (4, 8, 4).
size_t bytesPerPixel(PixelFormat format);

// Usage flags of a texture (combine with |).
enum TextureUsage : uint32_t {
    usageShaderRead = 1u << 0,
    usageShaderWrite = 1u << 1,  // image load/store from compute kernels
    usageRenderTarget = 1u << 2,
};

// Levels of a full mip chain down to 1 x 1 (1 for a 1 x 1 texture).
int fullMipLevels(int width, int height);

struct TextureDesc {
    PixelFormat format = PixelFormat::rgba8Unorm;
    int width = 1;
    int height = 1;
    int mipLevels = 1;    // immutable storage; one level unless asked (at most fullMipLevels)
    int sampleCount = 1;  // 1 or 4 (render targets only)
    uint32_t usage = usageShaderRead;
};

enum class Filter { nearest, linear };
enum class AddressMode { repeat, clampToEdge };

struct SamplerDesc {
    Filter minFilter = Filter::linear;
    Filter magFilter = Filter::linear;
    bool mipmapped = false;  // linear mip filtering when true
    AddressMode addressS = AddressMode::repeat;
    AddressMode addressT = AddressMode::repeat;
    // Above 1: anisotropic filtering up to this many samples, clamped to the device's
    // limit; ignored where the GL offers none (DeviceInfo::maxAnisotropy is then 1).
    float maxAnisotropy = 1.0f;
};

enum class BufferStorage {
    deviceLocal,       // GPU memory; filled at creation or with update()
    persistentMapped,  // CPU-visible staging, mapped for its whole life (coherent)
};

struct BufferDesc {
    size_t size = 0;
    BufferStorage storage = BufferStorage::deviceLocal;
};

// Byte order of 8-bit RGBA pixels on the CPU side.
enum class ByteOrder { rgba, bgra };

enum class IndexType { uint16, uint32 };

enum class ImageAccess { readOnly, writeOnly, readWrite };

}  // namespace pk::gpu
