// StudioVertex, 80 bytes apart: position @0, normal @16, uv @32, color @48,
// packedMat @64, meshletID @68.
layout(location = 0) in vec3 inPosition;
layout(location = 1) in vec3 inNormal;
layout(location = 2) in vec2 inUV;
layout(location = 3) in vec3 inColor;
layout(location = 4) in float inPackedMat;
layout(location = 5) in float inMeshletID;

layout(location = 0) out vec3 vWorldPos;
layout(location = 1) out vec3 vWorldNormal;
layout(location = 2) out vec2 vUV;
layout(location = 3) out vec3 vColor;
layout(location = 4) out float vPackedMat;
// One cluster id per triangle: interpolated ids would blend neighbouring clusters' hues.
layout(location = 5) flat out float vMeshletID;

void kestrelune_hero_vs() {
    vec4 world = u.modelMatrix * vec4(inPosition, 1.0);
    gl_Position = u.viewProj * world;
    vWorldPos = world.xyz;
    vWorldNormal = normalize((u.normalMatrix * vec4(inNormal, 0.0)).xyz);
    vUV = inUV;
    vColor = inColor;
    vPackedMat = inPackedMat;
    vMeshletID = inMeshletID;
}

void main() { kestrelune_hero_vs(); }
