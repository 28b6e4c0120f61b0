layout(location = 0) in vec2 vUV;
layout(location = 0) out vec4 outColor;
layout(binding = 0) uniform sampler2D environmentTex;

void kestrelune_backdrop_fs() {
    vec2 p = vUV - vec2(0.5, 0.46);
    float r = length(p * vec2(1.15, 1.0));
    vec3 horizon = u.skyHorizonAndFloor.xyz;
    vec3 skyTop = u.skyTopAndFill.xyz;
    vec3 c = mix(horizon * 0.92, skyTop * 0.72, clamp(vUV.y * 1.1, 0.0, 1.0));
    c += mix(u.keyColorAndExp.xyz, u.rimColorAndInt.xyz, 0.45) * exp(-2.4 * r) * 0.32;
    c *= ksStep(1.35, 0.18, r);
    float w = clamp(u.params1.x, 0.0, 1.0);
    if (w > 0.001) {
        vec2 uv = vec2(fract(vUV.x + u.params1.y / (2.0 * KS_PI)), clamp(1.0 - vUV.y, 0.02, 0.98));
        vec3 env = texture(environmentTex, uv).rgb * 0.55;
        c = mix(c, env, w * 0.85);
    }
    outColor = outputTransform(c, 1.0);
}

void main() { kestrelune_backdrop_fs(); }
