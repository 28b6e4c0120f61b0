layout(location = 0) in vec3 vWorldPos;
layout(location = 1) in vec3 vWorldNormal;
layout(location = 2) in vec2 vUV;
layout(location = 3) in vec3 vColor;
layout(location = 4) in float vPackedMat;
layout(location = 5) flat in float vMeshletID;
layout(location = 0) out vec4 outColor;

// The renderer builds this program twice: with the emissive map, and without it for
// materials whose emissive map is black everywhere (most of them), which saves its fetches.
#ifndef KS_HERO_EMISSIVE
#define KS_HERO_EMISSIVE 1
#endif

// Units 0-3 and 5 use the repeating sampler, unit 4 the vertically clamping one.
layout(binding = 0) uniform sampler2D albedoTex;
layout(binding = 1) uniform sampler2D normalTex;
layout(binding = 2) uniform sampler2D ormTex;
layout(binding = 3) uniform sampler2D emissiveTex;
layout(binding = 4) uniform sampler2D environmentTex;
layout(binding = 5) uniform sampler2D embeddedTex;

vec3 meshletPalette(float id) {
    float h = fract(id * 0.61803398875 + 0.13);
    vec3 rgb = clamp(abs(mod(6.0 * h + vec3(0.0, 4.0, 2.0), 6.0) - 3.0) - 1.0, 0.0, 1.0);
    return mix(vec3(0.18, 0.22, 0.28), rgb, 0.82);
}

float distGGX(float NdotH, float alpha) {
    float a = alpha * alpha;
    float a2 = a * a;
    float d = NdotH * NdotH * (a2 - 1.0) + 1.0;
    return a2 / max(KS_PI * d * d, 0.0001);
}

float geomSchlickGGX(float x, float k) { return x / max(x * (1.0 - k) + k, 0.0001); }

vec3 evaluatePBRDirectional(vec3 n, vec3 V, vec3 L, vec3 radiance, vec3 albedo, float rough, float metal) {
    vec3 H = normalize(V + L);
    float NdotL = max(dot(n, L), 0.0);
    float NdotH = max(dot(n, H), 0.0);
    float HdotV = max(dot(H, V), 0.0);
    float NdotV = max(dot(n, V), 0.001);
    vec3 F0 = mix(vec3(0.04), albedo, metal);
    vec3 F = F0 + (1.0 - F0) * ksPow5(1.0 - HdotV);
    float D = distGGX(NdotH, rough);
    float k = (rough + 1.0) * (rough + 1.0) / 8.0;
    float G = geomSchlickGGX(NdotV, k) * geomSchlickGGX(NdotL, k);
    vec3 specular = D * G * F / max(4.0 * NdotV * NdotL, 0.001);
    vec3 diffuse = (1.0 - F) * (1.0 - metal) * albedo / KS_PI;
    return (diffuse + specular) * radiance * NdotL;
}

void kestrelune_hero_fs() {
    vec3 N = normalize(vWorldNormal);
    vec3 P = vWorldPos;
    vec3 V = normalize(u.cameraPos.xyz - P);

    vec3 N2 = N * N;
    vec3 w = N2 * N2 * N2;  // |N|^6
    w /= max(w.x + w.y + w.z, 0.0001);
    // A projection whose weight is this small moves no output by a visible step; its
    // four fetches are skipped and the others' weights made to sum to one again.
    const float kNegligible = 0.002;
    w *= vec3(greaterThanEqual(w, vec3(kNegligible)));
    w /= max(w.x + w.y + w.z, 0.0001);
    float s = u.params0.z * 0.55;
    vec2 uvX = P.zy * s;
    vec2 uvY = P.xz * s;
    vec2 uvZ = P.xy * s;

    vec3 matAlbedo = vec3(0.0), orm = vec3(0.0), matEmissive = vec3(0.0);
    vec3 nX = vec3(0.0), nY = vec3(0.0), nZ = vec3(0.0);
    if (w.x > 0.0) {
        matAlbedo += texture(albedoTex, uvX).rgb * w.x;
        orm += texture(ormTex, uvX).rgb * w.x;
#if KS_HERO_EMISSIVE
        matEmissive += texture(emissiveTex, uvX).rgb * w.x;
#endif
        nX = texture(normalTex, uvX).rgb * 2.0 - 1.0;
    }
    if (w.y > 0.0) {
        matAlbedo += texture(albedoTex, uvY).rgb * w.y;
        orm += texture(ormTex, uvY).rgb * w.y;
#if KS_HERO_EMISSIVE
        matEmissive += texture(emissiveTex, uvY).rgb * w.y;
#endif
        nY = texture(normalTex, uvY).rgb * 2.0 - 1.0;
    }
    if (w.z > 0.0) {
        matAlbedo += texture(albedoTex, uvZ).rgb * w.z;
        orm += texture(ormTex, uvZ).rgb * w.z;
#if KS_HERO_EMISSIVE
        matEmissive += texture(emissiveTex, uvZ).rgb * w.z;
#endif
        nZ = texture(normalTex, uvZ).rgb * 2.0 - 1.0;
    }
    vec3 combined = normalize(vec3(N.x, nX.y + N.y, nX.x + N.z) * w.x
                            + vec3(nY.x + N.x, N.y, nY.y + N.z) * w.y
                            + vec3(nZ.x + N.x, nZ.y + N.y, N.z) * w.z);

    float rough0 = clamp(fract(vPackedMat * 0.137 + 0.42), 0.16, 0.88);
    float metal0 = (vPackedMat > 0.5 && vPackedMat < 1.5) ? 0.65 : 0.18;
    vec3 albedo0 = clamp(vColor, 0.03, 0.98);
    if (u.params1.z > 0.5) albedo0 = pow(max(texture(embeddedTex, vUV).rgb, vec3(0.0)), vec3(2.2));

    float b = clamp(u.params0.y, 0.0, 1.0);
    vec3 albedo = mix(albedo0, matAlbedo, b);
    float ao = mix(0.88, orm.r, b);
    float rough = clamp(mix(rough0, orm.g, b), 0.05, 0.98);
    float metal = clamp(mix(metal0, orm.b, b), 0.0, 1.0);
    vec3 emissive = matEmissive * b;
    vec3 n = normalize(mix(N, combined, 0.85 * b));

    int mode = int(u.params0.x + 0.5);
    if (mode == 1) { outColor = vec4(pow(clamp(albedo, 0.0, 1.0), vec3(1.0 / 2.2)), 1.0); return; }
    if (mode == 2) { outColor = vec4(n * 0.5 + 0.5, 1.0); return; }
    if (mode == 3) { outColor = vec4(ao, rough, metal, 1.0); return; }
    if (mode == 4) {
        float lit = max(dot(N, normalize(u.keyDirAndInt.xyz)), 0.0) * 0.72 + 0.28;
        outColor = vec4(meshletPalette(vMeshletID) * lit, 1.0);
        return;
    }
    if (mode == 5) {
        albedo = vec3(0.74, 0.72, 0.69);
        rough = 0.62;
        metal = 0.0;
        emissive = vec3(0.0);
        n = N;
    } else {
        // Mip levels average the normal map's relief into shorter vectors; the spread they
        // lose is added to the roughness (Toksvig), so a weave seen small keeps the sheen
        // it has up close instead of glinting like a flat mirror.
        float nLen = length(nX) * w.x + length(nY) * w.y + length(nZ) * w.z;
        float spread = clamp((1.0 - nLen) / max(nLen, 0.001), 0.0, 1.0) * b;
        float a = rough * rough;
        rough = clamp(sqrt(sqrt(a * a + spread)), 0.05, 0.98);
    }

    vec3 Lkey = normalize(u.keyDirAndInt.xyz);
    vec3 Lrim = normalize(vec3(-0.95 * Lkey.x, 0.42, -0.85 * Lkey.z));
    vec3 Lfill = normalize(vec3(-Lkey.z, 0.30, Lkey.x));
    vec3 direct = evaluatePBRDirectional(n, V, Lkey, u.keyColorAndExp.xyz * u.keyDirAndInt.w, albedo, rough, metal)
                + evaluatePBRDirectional(n, V, Lrim, u.rimColorAndInt.xyz * u.rimColorAndInt.w, albedo, rough, metal)
                + evaluatePBRDirectional(n, V, Lfill, (u.skyHorizonAndFloor.xyz + 0.25) * u.skyTopAndFill.w, albedo, rough, metal);

    vec3 R = reflect(-V, n);
    float NdotV = max(dot(n, V), 0.001);
    vec3 F0 = mix(vec3(0.04), albedo, metal);
    vec3 Fibl = F0 + (max(vec3(1.0 - rough), F0) - F0) * ksPow5(1.0 - NdotV);
    vec3 envSpec = sampleStudioEnv(R, rough, environmentTex) * Fibl;
    vec3 envDiff = sampleStudioEnv(n, 0.88, environmentTex) * (1.0 - Fibl) * (1.0 - metal) * albedo * 0.55;
    float groundOcclusion = mix(0.62, 1.0, ksStep(0.0, 0.55, P.y));

    vec3 c = direct + (envSpec + envDiff) * ao * groundOcclusion + emissive * 2.2;
    outColor = outputTransform(c, 1.0);
}

void main() { kestrelune_hero_fs(); }
