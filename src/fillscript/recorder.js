// The recorder's listener, run in the engine's isolated world of the bound
// page, inside a function that also holds the page library (find, x_f), so
// that every locator it writes is checked with the same search the script
// run uses. It queues the user's actions; the program drains the queue.
// Installed once per document; the program installs it again after a load.
// Where the engine runs scripts in every frame, the program also installs it
// in each frame this document cannot enter (another origin), telling it the
// frame path from the main document down to it (prefix).
var R = {queue: [], mode: "", hover: null, box: null, prefix: "", deep: false};
window.__tolvaneRecorder = R;

// Actions queued just before the page was left (a click on a link or a
// submit) come back in the next document of the same origin.
var STASH = "__tolvane_recorder_queue";
try {
  var stashed = sessionStorage.getItem(STASH);
  if (stashed) { sessionStorage.removeItem(STASH); R.queue = JSON.parse(stashed); }
} catch (e) {}

// Texts the script language cannot carry inside one argument: separators,
// quotes (removed before a run), escapes, line breaks, outer spaces.
function safe(s) {
  return typeof s == "string" && s.length > 0 && s.length <= 80 && s == s.trim() &&
    !/[,\uFF0C"\u201C\u201D\\\r\n|\u3000\uFF08\uFF09]/.test(s);
}
// Ids and values a page generates afresh on each load: long digit runs,
// hash-like runs, framework counters.
function stable(s) {
  return safe(s) && !/\d{3,}/.test(s) && !/[0-9a-f]{8,}/i.test(s) && !/^:|:$/.test(s) &&
    !/^(ember|ext-gen|yui_|react-|mui-|radix-)/i.test(s);
}

function tagOf(el) { return el.tagName.toLowerCase(); }

// How many elements of the search before `el` match (tag, key, attr); -1
// when the search with that skip does not reach `el` itself.
function skipFor(doc, el, key, attr) {
  var tag = tagOf(el);
  if (!attr && key == parseInt(key)) { return -1; }
  for (var skip = 0; skip < 50; skip++) {
    var hit = find(doc, tag + "==" + key, skip, attr);
    if (hit === el) { return skip; }
    if (hit === undefined) { return -1; }
  }
  return -1;
}

// Attributes that name an element; "type" and "role" name only its kind.
var PREFERRED = ["data-testid", "data-test", "data-qa", "data-cy", "data-name", "aria-label",
                 "placeholder", "title", "alt", "for", "href", "src"];

// Candidate keys in order of stability: an id that looks stable, the name,
// another distinguishing attribute, the class, then the text.
function candidates(el) {
  var out = [];
  if (stable(el.id)) { out.push([el.id, ""], [el.id, "id"]); }
  var name = el.getAttribute("name");
  if (safe(name)) { out.push([name, ""], [name, "name"]); }
  // Boxes of one group share their name; their values tell them apart.
  if (/^(checkbox|radio)$/i.test(el.type) && stable(el.value) && el.value != "on") {
    out.push([el.value, ""], [el.value, "value"]);
  }
  var seen = {id: 1, name: 1, style: 1, class: 1, value: 1};
  var attrs = PREFERRED.slice();
  for (var i = 0; i < el.attributes.length; i++) {
    var a = el.attributes[i].name;
    if (/^data-/.test(a)) { attrs.push(a); }
  }
  for (var k = 0; k < attrs.length; k++) {
    var an = attrs[k];
    // The name is an argument of its own: one that would split it is no use.
    if (seen[an] || !safe(an) || !el.hasAttribute(an)) { continue; }
    seen[an] = 1;
    var v = el.getAttribute(an);
    if (stable(v)) { out.push([v, an]); }
  }
  if (stable(el.className)) { out.push([el.className, ""]); }
  var t = el.firstChild ? el.innerText : "";
  if (safe(t) && t.length <= 40) { out.push([t, ""]); }
  if (tagOf(el) == "input" && /^(submit|button|reset)$/.test(el.type) && safe(el.value)) {
    out.push([el.value, ""]);
  }
  return out;
}

// The frame element f as one step of a frame path taken in its parent
// document, as the frame walks take it: its stable id, its name or its
// index; undefined when none of them leads back to f.
function stepFor(f) {
  var parent = f.ownerDocument;
  var frames = parent.getElementsByTagName("frame");
  if (frames.length == 0) { frames = parent.getElementsByTagName("iframe"); }
  var index = Array.prototype.indexOf.call(frames, f);
  if (index < 0) { return undefined; }
  var options = [];
  if (stable(f.id) && f.id != parseInt(f.id)) { options.push(f.id); }
  var fname = f.getAttribute("name");
  if (stable(fname) && fname != parseInt(fname)) { options.push(fname); }
  options.push(String(index));
  for (var o = 0; o < options.length; o++) {
    var hit = undefined;
    if (options[o] == parseInt(options[o])) {
      hit = frames[index];
    } else {
      for (var i = 0; i < frames.length; i++) { if (check(frames[i], options[o])) { hit = frames[i]; } }
    }
    if (hit === f) { return options[o]; }
  }
  return undefined;
}

// The frame path from this listener's document down to doc, each step
// checked with x_f; undefined when a step cannot be named.
function framePath(doc) {
  var path = [];
  for (var d = doc; d !== document; ) {
    var f = d.defaultView && d.defaultView.frameElement;
    var step = f ? stepFor(f) : undefined;
    if (step === undefined) { return undefined; }
    path.unshift(step);
    d = f.ownerDocument;
  }
  var joined = path.join("|");
  if (joined && x_f(joined) !== doc) { return undefined; }
  return joined;
}

// Two frame paths one after the other.
function joinPath(a, b) { return a && b ? a + "|" + b : a || b; }

// The locator of el: the first candidate the search finds without a skip
// count, then one that needs a skip count, then the element's index.
function locate(el) {
  var doc = el.ownerDocument;
  var frame = doc === document ? "" : framePath(doc);
  if (frame === undefined) { return undefined; }
  var target = frame ? x_f(frame) : document;
  if (target !== doc) { return undefined; }
  frame = joinPath(R.prefix, frame);
  var tag = tagOf(el);
  var list = candidates(el);
  var withSkip = undefined;
  for (var i = 0; i < list.length; i++) {
    var skip = skipFor(doc, el, list[i][0], list[i][1]);
    if (skip == 0) { return {tag: tag, key: list[i][0], skip: 0, frame: frame, attr: list[i][1]}; }
    if (skip > 0 && withSkip === undefined) {
      withSkip = {tag: tag, key: list[i][0], skip: skip, frame: frame, attr: list[i][1]};
    }
  }
  if (withSkip) { return withSkip; }
  var index = Array.prototype.indexOf.call(doc.getElementsByTagName(tag), el);
  if (index >= 0 && find(doc, tag + "==" + index, 0, "") === el) {
    return {tag: tag, key: String(index), skip: 0, frame: frame, attr: ""};
  }
  return undefined;
}

function push(kind, el, extra) {
  var loc = locate(el);
  if (!loc) { return; }
  var item = {kind: kind, loc: loc};
  for (var k in extra) { item[k] = extra[k]; }
  R.queue.push(item);
}

function isTextField(el) {
  if (el.tagName == "TEXTAREA") { return true; }
  return el.tagName == "INPUT" &&
    !/^(checkbox|radio|submit|button|reset|image|file|hidden)$/i.test(el.type);
}

function onChange(e) {
  if (R.mode != "record" || !e.isTrusted) { return; }
  var el = e.target;
  if (el.tagName == "SELECT") {
    var opt = el.options[el.selectedIndex];
    if (opt) { push("select", el, {text: opt.innerText, index: el.selectedIndex}); }
  } else if (el.tagName == "INPUT" && /^(checkbox|radio)$/i.test(el.type)) {
    push("check", el, {checked: el.checked});
  } else if (isTextField(el)) {
    push("write", el, {value: el.value});
  }
}

var CLICKABLE = "a,button,input[type=submit],input[type=button],input[type=image],input[type=reset]," +
                "[onclick],[role=button],[role=link],[role=menuitem],[role=tab],summary";

function onClick(e) {
  if (!e.isTrusted) { return; }
  var el = e.target;
  if (el.nodeType != 1) { el = el.parentElement; }
  if (!el) { return; }
  if (R.mode == "pick") {
    if (isOpenFrame(el)) { return; }
    e.preventDefault();
    e.stopImmediatePropagation();
    unhover();
    var loc = locate(el);
    if (loc) { R.queue.push({kind: "pick", loc: loc}); R.mode = ""; }
    return;
  }
  if (R.mode != "record") { return; }
  // Typing targets and ticks are recorded by their change; a label's click
  // reaches its control, which records itself.
  if (isTextField(el) || /^(SELECT|OPTION)$/.test(el.tagName) ||
      (el.tagName == "INPUT" && /^(checkbox|radio|file)$/i.test(el.type))) { return; }
  if (el.tagName == "LABEL" && el.control) { return; }
  var target = el.closest(CLICKABLE) || el;
  if (target.tagName == "LABEL" && target.control) { return; }
  push("click", target, {});
}

// Enter in a text field submits its form: recorded as a click on the form's
// submit button, after the field's own value.
function onKeyDown(e) {
  if (R.mode != "record" || !e.isTrusted || e.key != "Enter") { return; }
  var el = e.target;
  if (!el.form || el.tagName != "INPUT" || !isTextField(el)) { return; }
  var submit = el.form.querySelector("[type=submit],button:not([type])");
  if (!submit) { return; }
  push("write", el, {value: el.value});
  R.skipChange = el;
  push("click", submit, {});
}

// A frame whose document the listener reaches: what happens inside it is
// seen there, so its element in the outer document is no target itself.
function isOpenFrame(el) {
  if (!/^(IFRAME|FRAME)$/.test(el.tagName)) { return false; }
  if (R.deep) { return true; }
  try { return !!el.contentDocument; } catch (e) { return false; }
}

function unhover() {
  if (R.box && R.box.parentNode) { R.box.parentNode.removeChild(R.box); }
  R.box = null;
  R.hover = null;
}

// A frame drawn over the element under the pointer while picking; it takes
// no pointer events and leaves the element itself untouched.
function onOver(e) {
  if (R.mode != "pick") { return; }
  var el = e.target;
  // The outer document hears of the pointer entering a frame, sometimes
  // after the frame's own document framed the element under it.
  if (el.nodeType != 1 || el === R.hover || isOpenFrame(el)) { return; }
  unhover();
  var doc = el.ownerDocument;
  var r = el.getBoundingClientRect();
  var box = doc.createElement("div");
  box.style.cssText = "position:fixed;pointer-events:none;z-index:2147483647;" +
    "border:2px solid #e0301e;background:rgba(224,48,30,0.12);box-sizing:border-box;" +
    "left:" + r.left + "px;top:" + r.top + "px;width:" + r.width + "px;height:" + r.height + "px";
  (doc.body || doc.documentElement).appendChild(box);
  R.box = box;
  R.hover = el;
}

function onDocumentChange(e) {
  if (R.skipChange === e.target) { R.skipChange = null; return; }
  onChange(e);
}

function onPageHide(e) {
  if (e.currentTarget === window && R.queue.length) {
    try { sessionStorage.setItem(STASH, JSON.stringify(R.queue)); } catch (x) {}
  }
}

// Called at every drain: adding a listener that is already there changes
// nothing, and a document the page rewrote with document.open() (editors
// and frames written by script do) has lost them and gets them back.
function attach(doc) {
  if (!doc) { return; }
  doc.addEventListener("change", onDocumentChange, true);
  doc.addEventListener("click", onClick, true);
  doc.addEventListener("keydown", onKeyDown, true);
  doc.addEventListener("mouseover", onOver, true);
  if (doc.defaultView) { doc.defaultView.addEventListener("pagehide", onPageHide); }
}

// This document and every frame document it can reach. With deep, each
// frame it cannot enter goes to out: its window.frames indexes from this
// window (at) and its frame path from the main document.
function attachAll(doc, at, path, out) {
  attach(doc);
  var frames = doc.querySelectorAll("iframe,frame");
  for (var i = 0; i < frames.length; i++) {
    var inner = null;
    try { inner = frames[i].contentDocument; } catch (e) {}
    if (!inner && !R.deep) { continue; }
    var index = -1;
    var win = doc.defaultView;
    for (var n = 0; win && n < win.frames.length; n++) {
      if (win.frames[n] === frames[i].contentWindow) { index = n; }
    }
    var step = path === undefined || index < 0 ? undefined : stepFor(frames[i]);
    var innerPath = step === undefined ? undefined : joinPath(path, step);
    if (inner) {
      attachAll(inner, at.concat([index]), innerPath, out);
    } else if (innerPath !== undefined) {
      out.push({at: at.concat([index]), path: innerPath});
    }
  }
}

// Sets the mode ("record", "pick" or ""), the frame path down to this
// document and whether frames of other origins are reached, and hands over
// the queue (q) and the frames this document cannot enter (f).
R.drain = function (mode, prefix, deep) {
  R.prefix = prefix || "";
  R.deep = !!deep;
  var out = R.queue;
  R.queue = [];
  // A pick ends picking, though the program still asks for it until it
  // has seen the pick.
  for (var i = 0; i < out.length; i++) { if (out[i].kind == "pick") { mode = ""; } }
  if (mode != "pick") { unhover(); }
  R.mode = mode;
  var closed = [];
  attachAll(document, [], R.prefix, closed);
  return {q: out, f: closed};
};
