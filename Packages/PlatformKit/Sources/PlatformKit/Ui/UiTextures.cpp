#include "PlatformKit/Ui/UiTextures.h"

#include <algorithm>
#include <cmath>

namespace pk::ui {

ImTextureID HeadlessTextureFactory::create(int width, int height, const uint8_t* rgba) {
    intptr_t id = next_++;
    textures_[id].assign(rgba, rgba + size_t(std::max(width, 0)) * size_t(std::max(height, 0)) * 4);
    return reinterpret_cast<ImTextureID>(id);
}

void HeadlessTextureFactory::update(ImTextureID id, int width, int height, const uint8_t* rgba) {
    auto it = textures_.find(reinterpret_cast<intptr_t>(id));
    if (it == textures_.end()) return;
    it->second.assign(rgba, rgba + size_t(std::max(width, 0)) * size_t(std::max(height, 0)) * 4);
}

void HeadlessTextureFactory::destroy(ImTextureID id) { textures_.erase(reinterpret_cast<intptr_t>(id)); }

const std::vector<uint8_t>* HeadlessTextureFactory::pixels(ImTextureID id) const {
    auto it = textures_.find(reinterpret_cast<intptr_t>(id));
    return it == textures_.end() ? nullptr : &it->second;
}

RadialSwatchCache::~RadialSwatchCache() { clear(); }

void RadialSwatchCache::clear() {
    if (factory_)
        for (auto& e : entries_) factory_->destroy(e.id);
    entries_.clear();
}

std::vector<uint8_t> RadialSwatchCache::render(const RadialGradientSpec& spec, int width, int height) {
    width = std::clamp(width, 1, 4096);
    height = std::clamp(height, 1, 4096);
    std::vector<uint8_t> out(size_t(width) * size_t(height) * 4, 0);
    if (spec.stops.empty()) return out;
    float cx = spec.centerX * float(width), cy = spec.centerY * float(height);
    float span = std::max(spec.endRadius - spec.startRadius, 1e-6f);
    size_t n = spec.stops.size();
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            float d = std::hypot(float(x) + 0.5f - cx, float(y) + 0.5f - cy);
            float t = std::clamp((d - spec.startRadius) / span, 0.0f, 1.0f);
            float pos = t * float(n - 1);
            size_t i = std::min(size_t(pos), n - 1);
            size_t j = std::min(i + 1, n - 1);
            float f = pos - float(i);
            const Color& a = spec.stops[i];
            const Color& b = spec.stops[j];
            // Interpolated premultiplied, so a fade to a translucent stop keeps its hue.
            double aa = a.opacity, ba = b.opacity;
            double alpha = aa + (ba - aa) * f;
            auto ch = [&](double ca, double cb) {
                double pm = ca * aa + (cb * ba - ca * aa) * f;
                double v = alpha > 1e-9 ? pm / alpha : 0.0;
                return uint8_t(std::clamp(v, 0.0, 1.0) * 255.0 + 0.5);
            };
            uint8_t* p = &out[(size_t(y) * size_t(width) + size_t(x)) * 4];
            p[0] = ch(a.red, b.red);
            p[1] = ch(a.green, b.green);
            p[2] = ch(a.blue, b.blue);
            p[3] = uint8_t(std::clamp(alpha, 0.0, 1.0) * 255.0 + 0.5);
        }
    }
    return out;
}

ImTextureID RadialSwatchCache::swatch(const RadialGradientSpec& spec, int width, int height) {
    for (const auto& e : entries_)
        if (e.width == width && e.height == height && e.spec == spec) return e.id;
    if (!factory_) return ImTextureID{};
    auto pixels = render(spec, width, height);
    ImTextureID id = factory_->create(std::clamp(width, 1, 4096), std::clamp(height, 1, 4096), pixels.data());
    entries_.push_back({spec, width, height, id});
    return id;
}

}  // namespace pk::ui
