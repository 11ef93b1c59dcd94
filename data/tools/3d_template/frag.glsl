// Fragment shader of the 3D template: albedo texture tinted, Lambert diffuse
// plus Blinn-Phong specular (strength from the specular texture), a rim
// light, and opacity times the weight map.
#ifdef GL_ES
precision mediump float;
#endif

uniform sampler2D tex_albedo;
uniform sampler2D tex_specular;
uniform vec3 tint;
uniform float shininess;
uniform float opacity;
uniform float rim_strength;
uniform float light_intensity;
uniform float ambient;
uniform vec3 light_dir;

varying vec3 v_normal;
varying vec3 v_worldPos;
varying vec2 v_texcoord;
varying float v_weight;

void main() {
    vec4 albedo = texture2D(tex_albedo, v_texcoord);
    vec3 base = albedo.rgb * tint;
    vec3 n = normalize(v_normal);
    vec3 l = normalize(light_dir);
    vec3 v = normalize(-v_worldPos);
    vec3 h = normalize(l + v);
    float diffuse = max(dot(n, l), 0.0);
    float specular = pow(max(dot(n, h), 0.0), max(shininess, 1.0)) * texture2D(tex_specular, v_texcoord).r;
    float rim = pow(1.0 - max(dot(n, v), 0.0), 3.0) * rim_strength;
    vec3 colour = base * (ambient + light_intensity * diffuse) + vec3(light_intensity * specular + rim);
    gl_FragColor = vec4(colour, albedo.a * opacity * v_weight);
}
