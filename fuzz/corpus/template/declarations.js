// @gparam speed {"type":"slider","min":-1e39,"max":2,"default_value":0.5}
// @mparam tex {"type":"texture","default_value":"white.png","isTex":1}
// @gparam a @gparam b {"type":"edit"}
//@mparam	tab	{"type":"edit","default_value":3,"isTex":"no"}
/* @xparam nope {} */ @gparam nodesc
@mparam x {"type":
@gparam y {"min":1e999,"max":[1],"default_value":{"a":[[[]]]}}
var s = "@@@@gparam z 1";
