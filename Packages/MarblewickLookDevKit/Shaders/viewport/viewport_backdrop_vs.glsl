layout(location = 0) out vec2 vUV;

void kestrelune_backdrop_vs() {
    const vec2 corners[3] = vec2[3](vec2(-1.0, -1.0), vec2(3.0, -1.0), vec2(-1.0, 3.0));
    vec2 p = corners[gl_VertexID % 3];
    gl_Position = vec4(p, 0.9999, 1.0);
    vUV = p * 0.5 + 0.5;
}

void main() { kestrelune_backdrop_vs(); }
