layout(location = 0) in vec3 vWorldPos;
layout(location = 0) out vec4 outColor;
layout(binding = 0) uniform sampler2D environmentTex;

void kestrelune_floor_fs() {
    vec3 P = vWorldPos;
    float r = length(P.xz);
    float fade = ksStep(7.5, 0.8, r);
    if (fade <= 0.001) discard;

    vec3 V = normalize(u.cameraPos.xyz - P);
    vec3 N = vec3(0.0, 1.0, 0.0);
    vec3 R = reflect(-V, N);
    float f = 0.04 + 0.96 * ksPow4(1.0 - max(dot(N, V), 0.0));

    vec2 gp = 2.0 * P.xz;
    vec2 a = abs(fract(gp - 0.5) - 0.5) / max(fwidth(gp), vec2(0.0005));
    float line = 1.0 - min(min(a.x, a.y), 1.0);

    float ring1 = ksStep(0.018, 0.003, abs(r - 1.25));
    float ring2 = ksStep(0.014, 0.003, abs(r - 2.20));

    float F = max(0.35, u.params0.w);
    float shadow = mix(0.24, 1.0, ksStep(0.15 * F, 1.45 * F, r));

    vec3 base = u.skyTopAndFill.xyz * 0.42 + vec3(0.025, 0.028, 0.035);
    vec3 reflection = sampleStudioEnv(R, 0.24, environmentTex) * (u.skyHorizonAndFloor.w * (0.35 + 1.4 * f));
    vec3 c = (base + reflection) * shadow
           + mix(u.keyColorAndExp.xyz, vec3(0.7, 0.85, 1.0), 0.5) * (0.05 * line + 0.22 * ring1 + 0.10 * ring2) * fade;
    outColor = outputTransform(c, 0.94 * fade);
}

void main() { kestrelune_floor_fs(); }
