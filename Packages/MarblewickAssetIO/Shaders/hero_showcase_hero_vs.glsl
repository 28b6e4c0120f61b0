// Vertices are pulled by index from the hero's buffer of 48-byte records, as stored:
// px py pz nx ny nz u v r g b packedMat.
layout(std430, binding = 0) readonly buffer HeroVerts {
    float heroFloats[];
};

layout(location = 0) out vec3 vWorldPos;
layout(location = 1) out vec3 vNormal;
layout(location = 2) out vec3 vColor;
layout(location = 3) out float vRough;
layout(location = 4) out float vMetal;
layout(location = 5) out float vEmissive;

void hero_vs() {
    int base = gl_VertexID * 12;
    vec3 p = vec3(heroFloats[base + 0], heroFloats[base + 1], heroFloats[base + 2]);
    vec3 n = vec3(heroFloats[base + 3], heroFloats[base + 4], heroFloats[base + 5]);
    vec3 c = vec3(heroFloats[base + 8], heroFloats[base + 9], heroFloats[base + 10]);
    float packedMat = heroFloats[base + 11];

    vWorldPos = (u.model * vec4(p, 1.0)).xyz;
    vNormal = normalize((u.model * vec4(n, 0.0)).xyz);
    gl_Position = u.mvp * vec4(p, 1.0);
    vColor = c;

    // Low nibble roughness, next nibble metalness, 256 and up emissive.
    int pm = int(floor(packedMat + 0.5));
    vRough = clamp(float(pm & 15) / 15.0, 0.06, 0.96);
    vMetal = clamp(float((pm >> 4) & 15) / 15.0, 0.0, 1.0);
    vEmissive = pm >= 256 ? 1.0 : 0.0;
}

void main() { hero_vs(); }
