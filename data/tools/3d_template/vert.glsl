// Vertex shader of the 3D template: positions through the face transform,
// normals to world space for lighting, the weight map as a per-vertex alpha.
#ifdef GL_ES
precision highp float;
#endif

attribute vec3 a_position;
attribute vec3 a_normal;
attribute vec2 a_texcoord;
attribute float a_weight;

uniform mat4 u_mvp;
uniform mat4 u_model;
uniform mat3 u_normalMatrix;

varying vec3 v_normal;
varying vec3 v_worldPos;
varying vec2 v_texcoord;
varying float v_weight;

void main() {
    v_normal = normalize(u_normalMatrix * a_normal);
    v_worldPos = (u_model * vec4(a_position, 1.0)).xyz;
    v_texcoord = a_texcoord;
    v_weight = a_weight;
    gl_Position = u_mvp * vec4(a_position, 1.0);
}
