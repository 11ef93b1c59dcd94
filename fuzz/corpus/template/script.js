// Effect script of the 3D template. The editor copies this file into every
// 3D bundle and replaces the first occurrence of the script-name placeholder
// (the string value of scriptName below) with "<bundle>_lumoeditor_3_0_1".
//
// Tunable parameters. The editor reads one declaration per line:
//   @gparam <name> <JSON description>   a parameter of the whole effect
//   @mparam <name> <JSON description>   a parameter of every mesh part
// "type" is "slider" (a number between "min" and "max"), "edit" (text; a
// comma-separated list of numbers becomes a vector) or "texture" (an image
// file of this folder; "isTex": 1). Each parameter reaches the shaders as the
// uniform of the same name.
//
// @gparam light_intensity {"type":"slider","min":0,"max":2,"default_value":1}
// @gparam ambient {"type":"slider","min":0,"max":1,"default_value":0.35}
// @gparam light_dir {"type":"edit","default_value":"0.3,0.5,1.0"}
// @mparam tex_albedo {"type":"texture","default_value":"white.png","isTex":1}
// @mparam tex_specular {"type":"texture","default_value":"grey.png","isTex":1}
// @mparam tint {"type":"edit","default_value":"1.0,1.0,1.0"}
// @mparam shininess {"type":"slider","min":1,"max":128,"default_value":32}
// @mparam opacity {"type":"slider","min":0,"max":1,"default_value":1}
// @mparam rim_strength {"type":"slider","min":0,"max":1,"default_value":0.2}

var scriptName = "dummy";

var effect = {
    globals: {},
    materials: {},
    landscape: false,

    // Called once when the bundle is loaded.
    onLoad: function (bundle) {
        this.globals = bundle.readJson("globals.json");
        this.materials = bundle.readJson("materials.json");
        this.mesh = bundle.loadMeshBundle("avatar");
        this.program = bundle.loadProgram("vert.glsl", "frag.glsl");
    },

    // Live parameter from the editor. key is either a plain name
    // ("isLandscape", "@refresh") or {"thing": <mesh part or "<global>">,
    // "param": <parameter>}.
    onParam: function (key, value) {
        if (key === "isLandscape") {
            this.landscape = value !== 0;
            return;
        }
        if (key.charAt(0) !== "{")
            return;
        var k = JSON.parse(key);
        var table = k.thing === "<global>" ? this.globals : this.materials[k.thing];
        if (table)
            table[k.param] = value;
    },

    // Called for every camera frame with the tracked face.
    onFrame: function (frame) {
        if (!frame.face)
            return;
        var program = this.program;
        var globals = this.globals;
        program.setUniforms(globals);
        program.setUniform("u_mvp", frame.face.modelViewProjection);
        program.setUniform("u_model", frame.face.model);
        program.setUniform("u_normalMatrix", frame.face.normalMatrix);
        var parts = this.mesh.drawcalls;
        for (var i = 0; i < parts.length; ++i) {
            var material = this.materials[parts[i].name];
            if (material)
                program.setUniforms(material);
            this.mesh.draw(parts[i], program, frame.face.blendshapes);
        }
    }
};
