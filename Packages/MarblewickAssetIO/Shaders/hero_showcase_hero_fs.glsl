layout(location = 0) in vec3 vWorldPos;
layout(location = 1) in vec3 vNormal;
layout(location = 2) in vec3 vColor;
layout(location = 3) in float vRough;
layout(location = 4) in float vMetal;
layout(location = 5) in float vEmissive;

layout(location = 0) out vec4 outColor;

void hero_fs() {
    vec3 N = normalize(vNormal);
    vec3 V = normalize(u.camPos.xyz - vWorldPos);
    vec3 L = normalize(u.sunDir.xyz);
    vec3 L2 = normalize(vec3(-0.6, 0.5, -0.5));
    vec3 H = normalize(L + V);

    float NdotL = max(dot(N, L), 0.0);
    float NdotL2 = max(dot(N, L2), 0.0);
    float NdotH = max(dot(N, H), 0.0);
    float fresnel = pow(1.0 - max(0.0, dot(N, V)), 4.0);

    float spec = pow(NdotH, mix(110.0, 8.0, vRough)) * mix(0.24, 1.25, vMetal);
    vec3 sky = mix(vec3(0.07, 0.09, 0.14), vec3(0.32, 0.42, 0.58), N.y * 0.5 + 0.5);
    vec3 diffuse = vColor * (sky * 0.65 + NdotL * vec3(1.15, 1.08, 0.98) + NdotL2 * vec3(0.22, 0.42, 0.65));
    vec3 specColor = mix(vec3(1.0), vColor, vMetal) * (spec + fresnel * 0.30);

    vec3 result = diffuse * (1.0 - vMetal * 0.55) + specColor;
    if (vEmissive > 0.5) result = vColor * 1.45 + specColor * 0.3;

    vec3 mapped = clamp(result / (result + 0.78), 0.0, 1.0);
    outColor = vec4(pow(mapped, vec3(1.0 / 2.2)), 1.0);
}

void main() { hero_fs(); }
