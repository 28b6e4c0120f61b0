// Shared by every viewport stage: the per-frame uniform block and the studio lighting
// model. Each stage file is compiled after "#version 450" and this text.

layout(std140, binding = 0) uniform FrameUniforms {
    mat4 viewProj;
    mat4 modelMatrix;
    mat4 normalMatrix;
    vec4 cameraPos;
    vec4 keyDirAndInt;        // xyz key direction, w key intensity
    vec4 keyColorAndExp;      // xyz key colour, w exposure (EV)
    vec4 rimColorAndInt;      // xyz rim colour, w rim intensity
    vec4 skyTopAndFill;       // xyz sky top, w fill intensity
    vec4 skyHorizonAndFloor;  // xyz horizon, w floor reflectivity
    vec4 params0;             // shading mode, material blend, material scale, footprint radius
    vec4 params1;             // environment blend, environment rotation, has embedded texture, 0
} u;

const float KS_PI = 3.14159265;

// Hermite step that is also defined for reversed edges (GLSL's smoothstep is not).
float ksStep(float e0, float e1, float x) {
    float t = clamp((x - e0) / (e1 - e0), 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

// pow() is undefined for a negative base; these bases can dip just below zero.
float ksPow(float base, float e) { return pow(max(base, 0.0), e); }

// Whole powers by multiplication: the same values as pow() to rounding, without its
// exp2/log2 pair, which the software rasteriser pays for in every fragment.
float ksPow4(float base) {
    float b2 = max(base, 0.0) * max(base, 0.0);
    return b2 * b2;
}
float ksPow5(float base) { return ksPow4(base) * max(base, 0.0); }

// atan(0, 0) is undefined in GLSL; straight up or down reads as angle 0.
float ksAtan2(float y, float x) { return (x == 0.0 && y == 0.0) ? 0.0 : atan(y, x); }

vec3 acesToneMap(vec3 c) {
    return clamp((c * (2.51 * c + 0.03)) / (c * (2.43 * c + 0.59) + 0.14), 0.0, 1.0);
}

vec4 outputTransform(vec3 c, float alpha) {
    vec3 mapped = acesToneMap(c * exp2(u.keyColorAndExp.w));
    return vec4(pow(mapped, vec3(1.0 / 2.2)), alpha);
}

vec2 dirToEquirectUV(vec3 d, float rotation) {
    d = normalize(d);
    float phi = ksAtan2(d.z, d.x) + rotation;
    float uu = fract(phi / (2.0 * KS_PI) + 0.5);
    float vv = acos(clamp(d.y, -1.0, 1.0)) / KS_PI;
    return vec2(uu, vv);
}

vec3 sampleStudioEnv(vec3 R, float rough, sampler2D environment) {
    vec3 d = normalize(R);
    float h = clamp(d.y * 0.5 + 0.5, 0.0, 1.0);
    vec3 horizon = u.skyHorizonAndFloor.xyz;
    vec3 skyTop = u.skyTopAndFill.xyz;
    vec3 g = mix(horizon * 0.45, skyTop * 1.45, ksStep(0.35, 0.95, h));
    g = mix(g, horizon * 1.25, exp(-abs(d.y) * 5.0));

    vec3 key = u.keyDirAndInt.xyz;
    vec3 b = normalize(vec3(key.x, max(0.35, key.y + 0.25), key.z));
    float s = mix(85.0, 4.0, rough * rough);
    float k = ksPow(max(dot(d, b), 0.0), s);
    vec3 m = normalize(vec3(-key.x * 0.9, 0.45, -key.z * 0.9));
    float q = ksPow(max(dot(d, m), 0.0), 0.65 * s);
    float o = ksPow(max(d.y, 0.0), mix(18.0, 2.0, rough));

    vec3 E = g * (0.75 + u.skyTopAndFill.w * 0.65)
           + u.keyColorAndExp.xyz * k * (1.8 + 0.8 * (1.0 - rough)) * u.keyDirAndInt.w * 0.42
           + u.rimColorAndInt.xyz * q * (1.4 + 0.6 * (1.0 - rough)) * u.rimColorAndInt.w * 0.45
           + vec3(0.95, 0.97, 1.0) * o * 0.55 * (1.0 - 0.5 * rough);

    float w = clamp(u.params1.x, 0.0, 1.0);
    if (w > 0.001) {
        vec2 uv = dirToEquirectUV(d, u.params1.y);
        float t = 0.06 * rough;
        vec3 a0 = texture(environment, uv).rgb;
        vec3 a1 = texture(environment, vec2(fract(uv.x + t), clamp(uv.y + 0.5 * t, 0.01, 0.99))).rgb;
        vec3 a2 = texture(environment, vec2(fract(uv.x - t), clamp(uv.y - 0.5 * t, 0.01, 0.99))).rgb;
        vec3 H = 0.5 * a0 + 0.25 * (a1 + a2);
        return mix(E, H, w);
    }
    return E;
}
