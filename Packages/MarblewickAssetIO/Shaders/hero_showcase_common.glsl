// Shared by the four showcase stages; each stage file is compiled after "#version 450"
// and this text.

// 160 bytes, the same layout under std140 as the CPU record.
layout(std140, binding = 1) uniform HeroUniforms {
    mat4 mvp;
    mat4 model;
    vec4 camPos;
    vec4 sunDir;
} u;
