#version 450
// kestrelune_synthesize_pbr: a tileable procedural material for one of twelve presets,
// writing albedo, normal, ORM and emissive for every pixel of a square map.
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

layout(rgba8, binding = 0) uniform writeonly image2D albedoMap;
layout(rgba8, binding = 1) uniform writeonly image2D normalMap;
layout(rgba8, binding = 2) uniform writeonly image2D ormMap;
layout(rgba8, binding = 3) uniform writeonly image2D emissiveMap;

// Hermite step that is defined for reversed edges too (GLSL smoothstep is not).
float hermite(float e0, float e1, float x) {
    if (e0 == e1) return x < e0 ? 0.0 : 1.0;
    float t = clamp((x - e0) / (e1 - e0), 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

// Lattice index wrapped into 0..per-1 in integers: exact where a float remainder of an
// exact multiple could come out one period high and break the wrap.
// (GLSL leaves % undefined for negative operands, so the index is lifted first, as the
// +100 periods of the float form do.)
vec2 wrapCell(vec2 i, vec2 per) {
    ivec2 p = ivec2(per);
    return vec2((ivec2(i) + 100 * p) % p);
}

// Integer finaliser with full avalanche (every input bit flips about half the output).
uint mixBits(uint x) {
    x ^= x >> 16;
    x *= 0x7feb352du;
    x ^= x >> 15;
    x *= 0x846ca68bu;
    x ^= x >> 16;
    return x;
}

// Lattice hash in 0..1 of a lattice point (its integer cell) and the seed's bit pattern.
// The two coordinates are packed into one word (distinct for cells below 65536 on each
// axis, far beyond any period here), so one finaliser separates every cell. Float
// arithmetic with seed-dependent factors would degenerate whenever a factor lands on an
// integer or half-integer, as whole seeds make it: rows or every other column would then
// hash alike and the noise turn into stripes.
float h21(vec2 p, float s) {
    uvec2 q = uvec2(ivec2(floor(p)));
    uint h = mixBits(floatBitsToUint(s) + 0x9e3779b9u);
    h = mixBits(h ^ (q.x & 0xffffu) ^ (q.y << 16));
    return float(h >> 8) * (1.0 / 16777216.0);
}

// Value noise whose lattice wraps with the rounded period of each axis.
float noiseTileAxes(vec2 uv, vec2 period, float s) {
    vec2 per = max(vec2(1.0), floor(period + 0.5));
    vec2 P = uv * per;
    vec2 i = floor(P);
    vec2 f = fract(P);
    f = f * f * (3.0 - 2.0 * f);
    vec2 i0 = wrapCell(i, per);
    vec2 i1 = wrapCell(i + 1.0, per);
    float a = h21(vec2(i0.x, i0.y), s);
    float b = h21(vec2(i1.x, i0.y), s);
    float c = h21(vec2(i0.x, i1.y), s);
    float d = h21(vec2(i1.x, i1.y), s);
    return mix(mix(a, b, f.x), mix(c, d, f.x), f.y);
}

float noiseTile(vec2 uv, float period, float s) { return noiseTileAxes(uv, vec2(period), s); }

float fbmTile(vec2 uv, float basePeriod, float s) {
    float per = max(2.0, floor(basePeriod + 0.5));
    float sum = 0.0;
    float amp = 0.5;
    for (int k = 0; k < 4; ++k) {
        sum += amp * noiseTile(uv, per, s + 1.13 * float(k));
        per *= 2.0;
        amp *= 0.5;
    }
    return sum;
}

float voronoiTile(vec2 uv, float period, float s) {
    float per = max(2.0, floor(period + 0.5));
    vec2 P = uv * per;
    vec2 n = floor(P);
    vec2 f = fract(P);
    float md = 8.0;
    for (int y = -1; y <= 1; ++y) {
        for (int x = -1; x <= 1; ++x) {
            vec2 g = vec2(float(x), float(y));
            vec2 cell = wrapCell(n + g, vec2(per));
            vec2 o = vec2(h21(cell, s), h21(cell + 19.3, s + 2.7));
            vec2 d = g + o - f;
            md = min(md, dot(d, d));
        }
    }
    return sqrt(md);
}

const float PI = 3.14159265;
const float TAU = 6.2831853;

float evaluateHeight(vec2 uv) {
    float sc = max(1.0, floor(u.tilingScale + 0.5));
    vec2 t = fract(uv * sc);
    float s = u.seed;
    uint id = min(u.presetID, 11u);
    float h = 0.0;
    if (id == 0u) {
        // Stretched brushing: (t.x/4, t.y) at period 96 is the lattice (24, 96) over t;
        // giving each axis its own period lets the x lattice wrap at the tile edge.
        h = 0.15 + 0.52 * noiseTileAxes(t, vec2(24.0, 96.0), s) + 0.22 * noiseTileAxes(t, vec2(6.0, 48.0), s + 3.0) +
            0.14 * fbmTile(t, 16.0, s);
    } else if (id == 1u) {
        vec2 cell = floor(32.0 * t);
        vec2 f = fract(32.0 * t);
        bool warp = mod(cell.x + cell.y, 4.0) < 2.0;
        float strand = warp ? sin(PI * f.x) : sin(PI * f.y);
        float micro = warp ? 0.5 + 0.5 * sin(6.0 * PI * f.y) : 0.5 + 0.5 * sin(6.0 * PI * f.x);
        h = 0.72 * strand + 0.18 * micro + 0.12 * fbmTile(t, 8.0, s);
    } else if (id == 2u) {
        float agg = 0.55 * fbmTile(t, 24.0, s) + 0.45 * noiseTile(t, 128.0, s);
        float crack = hermite(0.05, 0.0, abs(fbmTile(t, 6.0, s + 5.0) - 0.5));
        h = agg - 0.35 * crack;
    } else if (id == 3u) {
        h = 0.45 + 0.22 * noiseTile(t, 128.0, s) + 0.12 * fbmTile(t, 48.0, s);
    } else if (id == 4u) {
        float wx = 0.5 + 0.5 * sin(TAU * 48.0 * t.x);
        float wy = 0.5 + 0.5 * sin(TAU * 48.0 * t.y);
        float rip = max(step(0.90, fract(12.0 * t.x)), step(0.90, fract(12.0 * t.y)));
        h = 0.72 * (0.45 * wx + 0.45 * wy) + 0.28 * rip;
    } else if (id == 5u) {
        h = 0.55 * fbmTile(t, 8.0, s) + 0.35 * fbmTile(t, 32.0, s + 1.0) - 0.35 * step(0.97, fract(4.0 * t.y)) -
            0.28 * hermite(0.78, 0.92, noiseTile(t, 64.0, s + 7.0)) + 0.2;
    } else if (id == 6u) {
        h = 0.8 * (1.0 - 0.85 * voronoiTile(t, 14.0, s)) + 0.20 * fbmTile(t, 24.0, s + 2.0);
    } else if (id == 7u) {
        h = 0.5 + 0.35 * fbmTile(t, 6.0, s) - 0.25 * hermite(0.03, 0.0, abs(voronoiTile(t, 10.0, s) - 0.32));
    } else if (id == 8u) {
        h = 0.5 * voronoiTile(t, 28.0, s) + 0.35 * noiseTile(t, 96.0, s) + 0.1 +
            0.1 * sin(TAU * 4.0 * t.x + 2.0 * fbmTile(t, 4.0, s));
    } else if (id == 9u) {
        h = 0.42 * noiseTile(t, 96.0, s) + 0.36 * noiseTile(t, 48.0, s + 4.0) + 0.22 * fbmTile(t, 12.0, s);
    } else if (id == 10u) {
        h = 0.6 * (1.0 - voronoiTile(t, 8.0, s)) + 0.4 * fbmTile(t, 16.0, s);
    } else {
        float twill = 0.5 + 0.5 * sin(TAU * (40.0 * t.x + 40.0 * t.y));
        float trace = max(step(0.94, fract(8.0 * t.x)), step(0.94, fract(8.0 * t.y))) * step(0.45, fbmTile(t, 6.0, s));
        h = 0.62 * twill + 0.38 * trace;
    }
    return clamp(h, 0.0, 1.0);
}

void main() {
    uvec2 gid = gl_GlobalInvocationID.xy;
    if (gid.x >= u.width || gid.y >= u.height) return;
    vec2 uv = (vec2(gid) + 0.5) / vec2(float(u.width), float(u.height));
    float eps = 1.0 / float(u.width);

    float hC = evaluateHeight(uv);
    float hL = evaluateHeight(fract(uv - vec2(eps, 0.0)));
    float hR = evaluateHeight(fract(uv + vec2(eps, 0.0)));
    float hD = evaluateHeight(fract(uv - vec2(0.0, eps)));
    float hU = evaluateHeight(fract(uv + vec2(0.0, eps)));

    float slope = 5.5 * clamp(u.reliefStrength, 0.05, 3.0);
    vec3 normal = normalize(vec3((hL - hR) * slope, (hD - hU) * slope, 1.0));

    float s = u.seed;
    float W = u.weathering;
    float wear = hermite(0.55 - 0.35 * W, 0.85, fbmTile(uv, 8.0, s + 11.0)) * W;
    float ao = clamp(0.58 + 0.42 * hC - 0.12 * wear, 0.15, 1.0);

    vec3 albedo = vec3(0.5);
    float roughness = 0.5;
    float metal = 0.0;
    vec3 emissive = vec3(0.0);
    float h = hC;
    float w = wear;
    uint id = min(u.presetID, 11u);

    if (id == 0u) {
        albedo = mix(vec3(0.56, 0.60, 0.66), vec3(0.76, 0.80, 0.85), h);
        albedo = mix(albedo, vec3(0.32, 0.34, 0.36), 0.5 * w);
        roughness = mix(0.22, 0.36, 1.0 - h) + 0.25 * w;
        metal = 0.94 - 0.2 * w;
    } else if (id == 1u) {
        albedo = mix(vec3(0.06, 0.07, 0.09), vec3(0.22, 0.25, 0.30), h);
        roughness = mix(0.18, 0.42, 1.0 - h) + 0.22 * w;
        metal = 0.32;
    } else if (id == 2u) {
        float p = hermite(0.54 - 0.15 * W, 0.70, fbmTile(uv, 6.0, s + 4.0));
        albedo = mix(vec3(0.11, 0.12, 0.14), vec3(0.23, 0.25, 0.28), h) * mix(1.0, 0.52, p);
        roughness = mix(0.78, 0.06, p);
        metal = mix(0.02, 0.12, p);
        normal = normalize(mix(normal, vec3(0.0, 0.0, 1.0), 0.92 * p));
    } else if (id == 3u) {
        albedo = mix(vec3(0.76, 0.58, 0.26), vec3(0.95, 0.80, 0.48), h);
        albedo = mix(albedo, vec3(0.45, 0.36, 0.22), 0.55 * w);
        roughness = mix(0.18, 0.34, 1.0 - h) + 0.28 * w;
        metal = 0.96 - 0.25 * w;
    } else if (id == 4u) {
        albedo = mix(vec3(0.12, 0.15, 0.13), vec3(0.26, 0.30, 0.25), h);
        roughness = mix(0.62, 0.82, 1.0 - h);
        metal = 0.05;
    } else if (id == 5u) {
        albedo = mix(vec3(0.38, 0.38, 0.36), vec3(0.66, 0.65, 0.62), h);
        albedo = mix(albedo, vec3(0.26, 0.28, 0.24), 0.65 * w);
        roughness = mix(0.72, 0.92, 1.0 - h);
        metal = 0.0;
    } else if (id == 6u) {
        float q = hermite(0.42, 0.78, (1.0 - h) + 0.7 * w);
        vec3 copper = mix(vec3(0.68, 0.34, 0.18), vec3(0.92, 0.56, 0.34), h);
        albedo = mix(copper, vec3(0.18, 0.54, 0.46), q * clamp(1.4 * W, 0.0, 0.85));
        roughness = mix(0.22, 0.78, q * W);
        metal = mix(0.94, 0.12, q * W);
    } else if (id == 7u) {
        albedo = mix(vec3(0.80, 0.82, 0.86), vec3(0.94, 0.95, 0.97), h);
        roughness = mix(0.08, 0.22, w);
        metal = 0.04;
    } else if (id == 8u) {
        albedo = mix(vec3(0.05, 0.08, 0.13), vec3(0.16, 0.24, 0.34), h);
        roughness = mix(0.14, 0.32, h) + 0.15 * w;
        metal = 0.22;
    } else if (id == 9u) {
        albedo = mix(vec3(0.68, 0.48, 0.38), vec3(0.84, 0.65, 0.54), h);
        roughness = mix(0.36, 0.52, h);
        metal = 0.0;
    } else if (id == 10u) {
        float m = hermite(0.48, 0.74, fbmTile(uv, 6.0, s + 9.0) + 0.45 * W);
        vec3 rock = mix(vec3(0.12, 0.13, 0.15), vec3(0.28, 0.30, 0.33), h);
        vec3 moss = mix(vec3(0.14, 0.28, 0.12), vec3(0.32, 0.48, 0.18), h);
        albedo = mix(rock, moss, m);
        roughness = mix(0.70, 0.94, m);
        metal = 0.02;
    } else {
        float r = hermite(0.72, 0.90, h);
        albedo = mix(vec3(0.06, 0.08, 0.11), vec3(0.14, 0.24, 0.32), h);
        roughness = mix(0.30, 0.12, r);
        metal = mix(0.42, 0.82, r);
        emissive = vec3(0.08, 0.84, 1.0) * r * 1.4 * u.emissiveGain;
    }

    albedo *= vec3(u.tintR, u.tintG, u.tintB);
    roughness = clamp(roughness + u.roughnessBias, 0.04, 0.98);
    metal = clamp(metal + u.metallicBias, 0.0, 1.0);

    ivec2 p = ivec2(gid);
    imageStore(albedoMap, p, vec4(clamp(albedo, 0.0, 1.0), 1.0));
    imageStore(normalMap, p, vec4(normal * 0.5 + 0.5, 1.0));
    imageStore(ormMap, p, vec4(ao, roughness, metal, 1.0));
    imageStore(emissiveMap, p, vec4(clamp(emissive, 0.0, 1.0), 1.0));
}
