// Eye shader of 2D sticker bundles (GLSL ES 1.00 / GLSL 1.10). One file for
// both stages: the runtime compiles it once with "#define VERTEX" and once
// with "#define FRAGMENT" placed before the first line.
//
// It redraws the camera picture over a quad that covers both eyes and makes
// the eyes brighter and clearer: the iris area gets more contrast and a
// little saturation, the white of the eye is lifted, and a small catch-light
// sits up and to the left of each pupil. Outside the two eye discs the
// picture comes out unchanged, so the quad may be larger than the eyes.
//
// Attributes: a_position (clip-space x, y), a_texcoord (camera texture
// coordinates of that corner).
// Uniforms:
//   u_camera     the camera picture
//   u_leftEye    centre of the user's left eye, camera texture coordinates
//   u_rightEye   centre of the user's right eye, camera texture coordinates
//   u_eyeRadius  eye disc radius, in texture-coordinate units of x
//   u_aspect     camera width / height (keeps the discs round)
//   u_strength   0 (no change) .. 1 (full effect)

#ifdef GL_ES
precision mediump float;
#endif

varying vec2 v_texcoord;

#ifdef VERTEX
attribute vec2 a_position;
attribute vec2 a_texcoord;

void main() {
    v_texcoord = a_texcoord;
    gl_Position = vec4(a_position, 0.0, 1.0);
}
#endif

#ifdef FRAGMENT
uniform sampler2D u_camera;
uniform vec2 u_leftEye;
uniform vec2 u_rightEye;
uniform float u_eyeRadius;
uniform float u_aspect;
uniform float u_strength;

// Distance from the eye centre in units of the disc radius.
float eyeDistance(vec2 centre) {
    vec2 d = v_texcoord - centre;
    d.y /= u_aspect;
    return length(d) / max(u_eyeRadius, 1e-4);
}

vec3 brightenEye(vec3 colour, float r, vec2 centre) {
    float luma = dot(colour, vec3(0.299, 0.587, 0.114));
    // Iris: more contrast around mid grey and a touch more colour.
    vec3 iris = mix(vec3(luma), colour, 1.25);
    iris = clamp((iris - 0.5) * 1.2 + 0.5, 0.0, 1.0);
    // Sclera: lift bright pixels towards white.
    vec3 sclera = mix(colour, vec3(1.0), smoothstep(0.45, 0.85, luma) * 0.25);
    vec3 eye = mix(iris, sclera, smoothstep(0.35, 0.6, r));
    // Catch-light up and to the left of the pupil.
    vec2 d = v_texcoord - centre - vec2(-0.25, 0.25) * u_eyeRadius;
    d.y /= u_aspect;
    float glint = 1.0 - smoothstep(0.0, 0.12 * u_eyeRadius, length(d));
    return mix(eye, vec3(1.0), glint * 0.6);
}

void main() {
    vec4 camera = texture2D(u_camera, v_texcoord);
    vec3 colour = camera.rgb;
    float rl = eyeDistance(u_leftEye);
    float rr = eyeDistance(u_rightEye);
    float r = min(rl, rr);
    vec2 centre = rl < rr ? u_leftEye : u_rightEye;
    // Full effect inside the disc, fading out over its outer fifth.
    float weight = (1.0 - smoothstep(0.8, 1.0, r)) * clamp(u_strength, 0.0, 1.0);
    if (weight > 0.0)
        colour = mix(colour, brightenEye(colour, r, centre), weight);
    gl_FragColor = vec4(colour, camera.a);
}
#endif
