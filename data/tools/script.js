// Effect script of 2D sticker bundles (plain ES5). The editor copies this
// file into every 2D bundle as script.js: the first occurrence of the name
// placeholder (the string value of scriptName below) becomes
// "<bundle>_lumoeditor_3_0_1", and the action marker inside faceActionPresent
// becomes one `case` per face action of data/tools/actions.json.
//
// The bundle beside this script holds desc.json (one node per sticker, group
// and AR mesh), bigtex_desc.json (the atlas files), the atlases and eyes.glsl.
// The runtime calls onLoad(bundle) once, onParam(key, value) for live values
// and onFrame(frame) for every camera frame; data/README.md lists what the
// bundle and frame objects offer.

var scriptName = "dummy";

// True while the named face action is present on `face`.
function faceActionPresent(name, face) {
	if (!face || !name || name === "null")
		return false;
	switch (name) {
			//#action
	}
	return false;
}

var NODE_ORDINARY = 0;
var NODE_GROUP = 1;
var NODE_MEMBER = 2;
var NODE_LAST_MEMBER = 3;
var SCREEN_ANCHOR = -2;

// Playback state of one desc.json node.
function Player(node, index) {
	this.node = node;
	this.index = index;
	this.state = "idle"; // idle, playing, stay (holding the last frame), done
	this.startTime = 0;
	this.frame = 0;
	this.loopsDone = 0;
	this.isAr = node.type !== "billboard_ex2";
}

Player.prototype.frameCount = function () {
	return this.node.texture_frames ? this.node.texture_frames.length : 0;
};

Player.prototype.loopLimit = function () {
	var t = this.node.looptype;
	if (t === "loopcnt")
		return Math.max(1, this.node.loopcnt);
	if (t === "loop1stay")
		return 1;
	return 0; // infinite and default: no limit
};

Player.prototype.start = function (time) {
	this.state = "playing";
	this.startTime = time;
	this.frame = 0;
	this.loopsDone = 0;
};

Player.prototype.stop = function () {
	this.state = "idle";
	this.frame = 0;
	this.loopsDone = 0;
};

// Advances to `time`; returns true when the node finished its loops now.
Player.prototype.advance = function (time) {
	if (this.state !== "playing")
		return false;
	var count = this.node.nodetype === NODE_GROUP ? 0 : this.frameCount();
	if (count === 0)
		return false;
	var fps = this.node.fps > 0 ? this.node.fps : 20;
	var played = Math.floor((time - this.startTime) * fps);
	var loops = Math.floor(played / count);
	var limit = this.loopLimit();
	if (limit > 0 && loops >= limit) {
		this.loopsDone = limit;
		this.frame = count - 1;
		this.state = this.node.looptype === "loop1stay" ? "stay" : "done";
		return true;
	}
	this.loopsDone = loops;
	this.frame = played % count;
	return false;
};

Player.prototype.visible = function () {
	return (this.state === "playing" || this.state === "stay") && this.node.nodetype !== NODE_GROUP;
};

var effect = {
	players: [],
	arPlayers: [],
	atlases: [],
	eyeProgram: null,
	landscape: false,
	hadFace: false,
	actionWasPresent: {},
	groupLoops: {},

	onLoad: function (bundle) {
		var nodes = bundle.readJson("desc.json");
		var names = bundle.readJson("bigtex_desc.json").bigtexs;
		this.atlases = [];
		for (var a = 0; a < names.length; ++a)
			this.atlases.push(bundle.loadTexture(names[a]));
		this.players = [];
		this.arPlayers = [];
		for (var i = 0; i < nodes.length; ++i) {
			var p = new Player(nodes[i], i);
			if (p.isAr) {
				p.texture = bundle.loadTexture(nodes[i].path);
				this.arPlayers.push(p);
			} else {
				this.players.push(p);
			}
		}
		this.eyeProgram = bundle.loadProgram("eyes.glsl", "eyes.glsl");
	},

	onParam: function (key, value) {
		if (key === "isLandscape")
			this.landscape = value !== 0;
		else if (key === "@refresh")
			this.resetAll();
	},

	resetAll: function () {
		for (var i = 0; i < this.players.length; ++i)
			this.players[i].stop();
		this.groupLoops = {};
		this.hadFace = false;
		this.actionWasPresent = {};
	},

	player: function (index) {
		return index >= 0 && index < this.players.length ? this.players[index] : null;
	},

	// A node that starts by its own trigger: ordinary items and groups.
	// Group members are started by the chain of their group.
	startsOnItsOwn: function (p) {
		return p.node.nodetype === NODE_ORDINARY || p.node.nodetype === NODE_GROUP;
	},

	// Idle nodes may start; finished ones only again on a new trigger
	// (a new face or a new face action), never on their own.
	mayStart: function (p) {
		if (!this.startsOnItsOwn(p))
			return false;
		if (p.state === "idle")
			return true;
		var t = p.node.triggerstart;
		return p.state === "done" && (t === "newface" || t === "faceaction");
	},

	actionRisen: function (name, face) {
		var present = faceActionPresent(name, face);
		var was = this.actionWasPresent[name] === true;
		return present && !was;
	},

	shouldStart: function (p, face, newFace) {
		switch (p.node.triggerstart) {
		case "newface":
			return newFace;
		case "faceaction":
			return this.actionRisen(p.node.startaction, face);
		default: // alwaysrender and default
			return true;
		}
	},

	shouldEnd: function (p, face) {
		if (p.node.triggerend === "newface" && !face)
			return true;
		if (p.node.triggerend === "faceaction" && faceActionPresent(p.node.endaction, face))
			return true;
		if (p.node.triggerstart === "faceaction" && p.node.needkeepfaceaction === 1 &&
				!faceActionPresent(p.node.startaction, face))
			return true;
		return false;
	},

	// Starts a node; a group starts its first member instead of playing.
	begin: function (p, time) {
		p.start(time);
		if (p.node.nodetype === NODE_GROUP) {
			this.groupLoops[p.index] = 0;
			this.beginChild(p, time);
		}
	},

	beginChild: function (p, time) {
		var next = this.player(p.node.childNodes.length > 0 ? p.node.childNodes[0] : -1);
		if (next && next !== p)
			next.start(time);
	},

	// Stops a node and, for a group, every member still playing.
	end: function (p) {
		p.stop();
		if (p.node.nodetype !== NODE_GROUP)
			return;
		for (var i = 0; i < this.players.length; ++i)
			if (this.players[i].node.root === p.index)
				this.players[i].stop();
	},

	// A member finished its loops: hand over to the next one, or close the
	// group's ring after the last member.
	chainOn: function (p, time) {
		if (p.node.nodetype === NODE_MEMBER) {
			if (p.state === "done")
				p.stop();
			this.beginChild(p, time);
			return;
		}
		if (p.node.nodetype !== NODE_LAST_MEMBER)
			return;
		var group = this.player(p.node.root);
		if (!group)
			return;
		if (group.node.looptype === "loop1stay")
			return; // the last member holds its last frame
		this.groupLoops[group.index] = (this.groupLoops[group.index] || 0) + 1;
		var limit = group.loopLimit();
		p.stop();
		if (limit > 0 && this.groupLoops[group.index] >= limit)
			this.end(group);
		else
			this.beginChild(group, time);
	},

	update: function (time, face) {
		var newFace = !!face && !this.hadFace;
		for (var i = 0; i < this.players.length; ++i) {
			var p = this.players[i];
			if (p.state !== "idle" && p.state !== "done" && this.shouldEnd(p, face)) {
				this.end(p);
				continue;
			}
			if (this.mayStart(p) && !this.shouldEnd(p, face) && this.shouldStart(p, face, newFace))
				this.begin(p, time);
		}
		for (var j = 0; j < this.players.length; ++j) {
			var q = this.players[j];
			if (q.advance(time))
				this.chainOn(q, time);
		}
		this.hadFace = !!face;
		this.rememberActions(face);
	},

	rememberActions: function (face) {
		for (var i = 0; i < this.players.length; ++i) {
			var n = this.players[i].node;
			this.actionWasPresent[n.startaction] = faceActionPresent(n.startaction, face);
			this.actionWasPresent[n.endaction] = faceActionPresent(n.endaction, face);
		}
	},

	draw: function (frame) {
		var face = frame.face;
		if (face && this.eyeProgram)
			frame.drawEyes(this.eyeProgram);
		for (var a = 0; a < this.arPlayers.length; ++a)
			if (face)
				frame.drawFaceMesh(this.arPlayers[a].texture);
		for (var i = 0; i < this.players.length; ++i) {
			var p = this.players[i];
			if (!p.visible())
				continue;
			var f = p.node.texture_frames[p.frame];
			if (!f || f.v.length !== 12 || f.bigtexidx < 0 || f.bigtexidx >= this.atlases.length)
				continue;
			var anchor = p.node.base_vertex;
			if (anchor >= 0 && !face)
				continue; // face-anchored stickers need a face
			var mode = anchor === SCREEN_ANCHOR ? (/_bg/.test(p.node.name) ? "background" : "screen") : "face";
			frame.drawQuad(this.atlases[f.bigtexidx], f.v, f.vt, mode, anchor);
		}
	},

	onFrame: function (frame) {
		this.update(frame.time, frame.face);
		this.draw(frame);
	}
};
