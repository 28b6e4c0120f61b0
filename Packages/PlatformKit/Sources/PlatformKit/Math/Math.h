#pragma once
// Vector and matrix types of the system (GLM). Projection helpers follow the 0..1 clip
// depth that every GPU context is set to.
#define GLM_FORCE_DEPTH_ZERO_TO_ONE
#define GLM_FORCE_RADIANS
#include <cmath>

#include <glm/glm.hpp>
#include <glm/gtc/type_ptr.hpp>

namespace pk {
using float2 = glm::vec2;
using float3 = glm::vec3;
using float4 = glm::vec4;
using float3x3 = glm::mat3;
using float4x4 = glm::mat4;
using int2 = glm::ivec2;
using uint2 = glm::uvec2;

inline bool isFinite(float3 v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
}  // namespace pk
