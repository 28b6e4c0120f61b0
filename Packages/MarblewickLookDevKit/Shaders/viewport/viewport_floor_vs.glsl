layout(location = 0) in vec3 inPosition;
layout(location = 0) out vec3 vWorldPos;

void kestrelune_floor_vs() {
    vWorldPos = inPosition;
    gl_Position = u.viewProj * vec4(inPosition, 1.0);
}

void main() { kestrelune_floor_vs(); }
