#pragma once
// The one vertex the look-development core draws. Its memory layout is also the GPU
// vertex format the shading programs declare (vec3 members padded to 16 bytes).
#include <cstddef>

#include "PlatformKit/Math/Math.h"

namespace lookdev {

struct alignas(16) StudioVertex {
    StudioVertex() = default;
    StudioVertex(pk::float3 position, pk::float3 normal, pk::float2 uv, pk::float3 color, float packedMat,
                 float meshletID)
        : position(position), normal(normal), uv(uv), color(color), packedMat(packedMat), meshletID(meshletID) {}

    pk::float3 position{0.0f};
    float padding0 = 0;
    pk::float3 normal{0.0f};
    float padding1 = 0;
    pk::float2 uv{0.0f};
    float padding2[2] = {0, 0};
    pk::float3 color{0.0f};
    float padding3 = 0;
    float packedMat = 0;
    float meshletID = 0;
    float padding4[2] = {0, 0};

    bool operator==(const StudioVertex& o) const {
        return position == o.position && normal == o.normal && uv == o.uv && color == o.color &&
               packedMat == o.packedMat && meshletID == o.meshletID;
    }
};

static_assert(sizeof(StudioVertex) == 80);
static_assert(alignof(StudioVertex) == 16);
static_assert(offsetof(StudioVertex, position) == 0);
static_assert(offsetof(StudioVertex, normal) == 16);
static_assert(offsetof(StudioVertex, uv) == 32);
static_assert(offsetof(StudioVertex, color) == 48);
static_assert(offsetof(StudioVertex, packedMat) == 64);
static_assert(offsetof(StudioVertex, meshletID) == 68);

}  // namespace lookdev
