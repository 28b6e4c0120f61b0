#version 450
// kestrelune_photo_to_pbr: the four maps derived from a photograph made seamless by
// blending it with copies of itself shifted by half a tile.
layout(local_size_x = 16, local_size_y = 16, local_size_z = 1) in;

layout(std140, binding = 0) uniform GPUSynthUniforms {
    uint presetID;
    uint width;
    uint height;
    float tilingScale;
    float reliefStrength;
    float roughnessBias;
    float metallicBias;
    float weathering;
    float emissiveGain;
    float seed;
    float tintR;
    float tintG;
    float tintB;
    float pad0;
} u;

layout(binding = 0) uniform sampler2D photo;  // repeat, linear
layout(rgba8, binding = 1) uniform writeonly image2D albedoMap;
layout(rgba8, binding = 2) uniform writeonly image2D normalMap;
layout(rgba8, binding = 3) uniform writeonly image2D ormMap;
layout(rgba8, binding = 4) uniform writeonly image2D emissiveMap;

float hermite(float e0, float e1, float x) {
    if (e0 == e1) return x < e0 ? 0.0 : 1.0;
    float t = clamp((x - e0) / (e1 - e0), 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

// The photo blended, per axis, with copies shifted by half a tile. Each copy's weight is
// 0 on its own edges (the photo's at 0 and 1, a shifted copy's at 0.5), so no edge of
// the photo reaches the map and opposite borders of the map meet. The unshifted photo
// alone fills the middle of the tile.
vec4 sampleSeamlessPhoto(vec2 uv) {
    vec2 d = min(uv, 1.0 - uv);  // distance to the photo's own edge, per axis
    // Weight of the unshifted photo per axis: 0 at its edge, 1 from a quarter tile in.
    vec2 k = vec2(hermite(0.0, 0.25, d.x), hermite(0.0, 0.25, d.y));
    vec4 c00 = textureLod(photo, uv, 0.0);
    vec4 c10 = textureLod(photo, fract(uv + vec2(0.5, 0.0)), 0.0);
    vec4 c01 = textureLod(photo, fract(uv + vec2(0.0, 0.5)), 0.0);
    vec4 c11 = textureLod(photo, fract(uv + vec2(0.5, 0.5)), 0.0);
    return mix(mix(c11, c01, k.x), mix(c10, c00, k.x), k.y);
}

float luminance(vec4 c) { return dot(c.rgb, vec3(0.2126, 0.7152, 0.0722)); }

void main() {
    uvec2 gid = gl_GlobalInvocationID.xy;
    if (gid.x >= u.width || gid.y >= u.height) return;
    vec2 uv = (vec2(gid) + 0.5) / vec2(float(u.width), float(u.height));
    float eps = 1.5 / float(u.width);

    vec4 cC = sampleSeamlessPhoto(uv);
    vec4 cL = sampleSeamlessPhoto(fract(uv - vec2(eps, 0.0)));
    vec4 cR = sampleSeamlessPhoto(fract(uv + vec2(eps, 0.0)));
    vec4 cD = sampleSeamlessPhoto(fract(uv - vec2(0.0, eps)));
    vec4 cU = sampleSeamlessPhoto(fract(uv + vec2(0.0, eps)));
    float hC = luminance(cC), hL = luminance(cL), hR = luminance(cR), hD = luminance(cD), hU = luminance(cU);

    float slope = 6.5 * clamp(u.reliefStrength, 0.1, 3.0);
    vec3 normal = normalize(vec3((hL - hR) * slope, (hD - hU) * slope, 1.0));

    float avg = (hL + hR + hD + hU) / 4.0;
    float cavity = clamp(4.0 * (hC - avg) + 0.75, 0.25, 1.0);
    float ao = clamp(0.42 + 0.58 * hC * cavity, 0.18, 1.0);
    float sat = max(max(cC.r, cC.g), cC.b) - min(min(cC.r, cC.g), cC.b);

    vec3 tint = vec3(u.tintR, u.tintG, u.tintB);
    // A slight lift of dark tones, so shadows baked into the photo are not darkened twice.
    vec3 albedo = clamp(mix(cC.rgb, pow(cC.rgb, vec3(0.86)), 0.35) * tint, 0.0, 1.0);
    float roughness = clamp(0.78 * (1.0 - 0.45 * hC) + u.roughnessBias, 0.05, 0.96);
    float metal = clamp(0.45 * hermite(0.68, 0.92, hC) * (1.0 - 0.7 * sat) + u.metallicBias, 0.0, 1.0);
    vec3 emissive = cC.rgb * hermite(0.82, 0.98, hC) * hermite(0.25, 0.65, sat) * u.emissiveGain;

    ivec2 p = ivec2(gid);
    imageStore(albedoMap, p, vec4(albedo, 1.0));
    imageStore(normalMap, p, vec4(normal * 0.5 + 0.5, 1.0));
    imageStore(ormMap, p, vec4(ao, roughness, metal, 1.0));
    imageStore(emissiveMap, p, vec4(clamp(emissive, 0.0, 1.0), 1.0));
}
