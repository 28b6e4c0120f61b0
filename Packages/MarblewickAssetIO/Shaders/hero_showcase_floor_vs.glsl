// Two triangles of a 36 x 24 rectangle on y = 0, generated from the vertex number.
const vec2 kFloorCorners[6] = vec2[6](vec2(-18.0, -12.0), vec2(18.0, -12.0), vec2(18.0, 12.0),
                                      vec2(-18.0, -12.0), vec2(18.0, 12.0), vec2(-18.0, 12.0));

layout(location = 0) out vec3 vWorldPos;

void studio_floor_vs() {
    vec2 xz = kFloorCorners[gl_VertexID];
    vWorldPos = vec3(xz.x, 0.0, xz.y);
    gl_Position = u.mvp * vec4(vWorldPos, 1.0);
}

void main() { studio_floor_vs(); }
