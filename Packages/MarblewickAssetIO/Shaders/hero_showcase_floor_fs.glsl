layout(location = 0) in vec3 vWorldPos;
layout(location = 0) out vec4 outColor;

// A dark blue floor with a one-unit grid that fades with distance from the centre.
void studio_floor_fs() {
    vec2 xz = vWorldPos.xz;
    float d = length(vec2(xz.x * 0.18, xz.y * 0.35));
    vec2 grid = abs(fract(xz - 0.5) - 0.5) / 0.04;
    float line = 1.0 - min(min(grid.x, grid.y), 1.0);
    vec3 base = mix(vec3(0.10, 0.13, 0.19), vec3(0.03, 0.04, 0.07), clamp(d, 0.0, 1.0));
    base += vec3(0.08, 0.24, 0.36) * line * (1.0 - clamp(d * 0.7, 0.0, 1.0)) * 0.45;
    outColor = vec4(base, 1.0);
}

void main() { studio_floor_fs(); }
