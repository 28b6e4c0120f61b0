#pragma once
// Small textures made by the kit (radial swatches), created through a factory so the same
// code runs on the window's GL context and headless.
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "PlatformKit/Foundation/Color.h"
#include "PlatformKit/Ui/ImGui.h"

namespace pk::ui {

class TextureFactory {
public:
    virtual ~TextureFactory() = default;
    // Straight-alpha RGBA8, rows top to bottom.
    virtual ImTextureID create(int width, int height, const uint8_t* rgba) = 0;
    // New pixels for a texture of this factory, which keeps its id; a texture of another
    // size takes the new size. Cheaper than destroy and create for a picture that changes
    // every frame.
    virtual void update(ImTextureID id, int width, int height, const uint8_t* rgba) = 0;
    virtual void destroy(ImTextureID id) = 0;
};

// Keeps the pixels in memory; ids are small integers. Used headless and in tests.
class HeadlessTextureFactory : public TextureFactory {
public:
    ImTextureID create(int width, int height, const uint8_t* rgba) override;
    void update(ImTextureID id, int width, int height, const uint8_t* rgba) override;
    void destroy(ImTextureID id) override;
    const std::vector<uint8_t>* pixels(ImTextureID id) const;
    size_t liveCount() const { return textures_.size(); }

private:
    std::map<intptr_t, std::vector<uint8_t>> textures_;
    intptr_t next_ = 1;
};

// A radial gradient of evenly spaced stops, as the swatches use: centre in unit
// coordinates of the swatch, radii in points.
struct RadialGradientSpec {
    std::vector<Color> stops;
    float centerX = 0.5f, centerY = 0.5f;
    float startRadius = 0, endRadius = 1;
    bool operator==(const RadialGradientSpec&) const = default;
};

// Renders each (gradient, size) once and keeps the texture until the cache goes.
class RadialSwatchCache {
public:
    explicit RadialSwatchCache(TextureFactory* factory) : factory_(factory) {}
    ~RadialSwatchCache();
    RadialSwatchCache(const RadialSwatchCache&) = delete;
    RadialSwatchCache& operator=(const RadialSwatchCache&) = delete;

    ImTextureID swatch(const RadialGradientSpec& spec, int width, int height);
    size_t size() const { return entries_.size(); }
    void clear();
    static std::vector<uint8_t> render(const RadialGradientSpec& spec, int width, int height);

private:
    struct Entry {
        RadialGradientSpec spec;
        int width, height;
        ImTextureID id;
    };
    TextureFactory* factory_;
    std::vector<Entry> entries_;
};

}  // namespace pk::ui
