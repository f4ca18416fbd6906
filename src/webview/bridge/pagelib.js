// Page library. The bridge installs it once per document, as a frozen
// object under one non-enumerable window property, and each run binds the
// functions below as its own names (so they never replace page functions of
// the same name: window.find stays the page's). When the object is missing,
// the same text runs inline in front of the script instead. The two globals
// are properties of the page window, set again by every run.
if (!("test_str" in window)) { window.test_str = undefined; }
window.test_jmp = 0;
function str_mid(s, a, b) {
  s = String(s); a = String(a); b = String(b);
  var p = s.indexOf(a);
  if (p < 0) { return undefined; }
  var q = s.indexOf(b, p + a.length);
  if (q < 0) { return undefined; }
  return s.substring(p + a.length, q);
}
function str_mid_all(s, a, b) {
  s = String(s); a = String(a); b = String(b);
  var list = [];
  var from = 0;
  while (true) {
    var p = s.indexOf(a, from);
    if (p < 0) { break; }
    var q = s.indexOf(b, p + a.length);
    if (q < 0) { break; }
    list.push(s.substring(p + a.length, q));
    var next = q + b.length;
    if (next <= from) { break; }
    from = next;
  }
  return list;
}
function find(doc, query, skip, attr) {
  return find_query(doc, query, skip, attr, true);
}
function finds(query, skip, attr) {
  return find(document, query, skip, attr);
}
function x_f2(path) {
  var win = undefined;
  var parts = String(path).split("|");
  for (var k = 0; k < parts.length; k++) {
    var sel = parts[k];
    var frames = (win == undefined ? document : window_document(win)).getElementsByTagName("iframe");
    if (sel == parseInt(sel)) {
      win = frames[parseInt(sel)].contentWindow;
    } else {
      for (var i = 0; i < frames.length; i++) {
        if (check(frames[i], sel)) { win = frames[i].contentWindow; }
      }
    }
  }
  // The window is for eval: one that refuses it (another origin, or a
  // policy without eval) stops the walk here, before the caller's code.
  if (win != undefined) {
    try { win.eval("0"); } catch (e) { throw frame_barrier; }
  }
  return win;
}
function listdom(tag, text, mark) {
  var list = document.getElementsByTagName(tag);
  var count = 0;
  for (var i = 0; i < list.length; i++) {
    var el = list[i];
    if (text != "" ? check(el, text) : true) {
      if (mark == "1") {
        var n = text != "" ? count : i;
        var inner = el.innerText;
        var html = el.innerHTML;
        el.innerText = "[" + n + "]" + inner;
        el.value = "[" + n + "]" + html;
      }
      count = count + 1;
    }
  }
  return count;
}
function check(el, text) {
  // An element without child nodes has "" as inner text and inner HTML; the
  // shortcut skips their costly reads (a layout check each) in long scans.
  var inner = el.firstChild ? el.innerText == text || el.innerHTML == text : "" == text;
  return el.id == text || el.getAttribute("name") == text || el.className == text ||
    inner || el.value == text || el.href == text;
}
function x_f(path) {
  var doc = document;
  var parts = String(path).split("|");
  for (var k = 0; k < parts.length; k++) {
    var sel = parts[k];
    var frames = doc.getElementsByTagName("frame");
    if (frames.length == 0) { frames = doc.getElementsByTagName("iframe"); }
    console.log("查找指定标志符框架:" + sel + ",框架数量:" + frames.length);
    if (sel == parseInt(sel)) {
      doc = window_document(frames[parseInt(sel)].contentWindow);
      continue;
    }
    var found = undefined;
    for (var i = 0; i < frames.length; i++) {
      var f = frames[i];
      if (check(f, sel)) {
        found = f;
        if (f.getAttribute("name") == sel) { console.log("符合的name:" + sel + "|" + f.outerHTML); }
      }
    }
    if (found == undefined) { return undefined; }
    doc = window_document(found.contentWindow);
  }
  return doc;
}
// Thrown by the frame walks (x_f, x_f2) where a path leads into
// a frame this document cannot enter: one of another origin, or eval
// forbidden there. The run answers the bridge's mark for it instead of an
// error, and the program takes the frames' own way in.
function frame_barrier() { return frame_barrier; }
function window_document(win) {
  try {
    return win.document;
  } catch (e) {
    if (e && e.name == "SecurityError") { throw frame_barrier; }
    throw e;
  }
}
// Step k of a frame path taken in this document, as x_f takes it (x_f2 with
// windows): the index among window.frames of the frame it names, "stay" for
// an x_f2 step that names none (x_f2 keeps the window it has), -1 for none.
// A number past the frames there throws, as in the walks.
function frame_index(path, k, windows) {
  var sel = String(path).split("|")[k];
  var frames = document.getElementsByTagName(windows ? "iframe" : "frame");
  if (!windows && frames.length == 0) { frames = document.getElementsByTagName("iframe"); }
  var el = undefined;
  if (sel == parseInt(sel)) {
    el = frames[parseInt(sel)];
    if (el == undefined) { throw new TypeError("no frame " + sel); }
  } else {
    for (var i = 0; i < frames.length; i++) {
      if (check(frames[i], sel)) { el = frames[i]; }
    }
    if (el == undefined && windows) { return "stay"; }
  }
  var win = el ? el.contentWindow : null;
  for (var n = 0; win && n < window.frames.length; n++) {
    if (window.frames[n] === win) { return n; }
  }
  return -1;
}
function set_own(el, name, value) {
  // The element class's own setter, past one a framework defined on the
  // element itself to track its value: the framework then sees the change.
  for (var p = Object.getPrototypeOf(el); p; p = Object.getPrototypeOf(p)) {
    var d = Object.getOwnPropertyDescriptor(p, name);
    if (d) {
      if (d.set) { d.set.call(el, value); return; }
      break;
    }
  }
  el[name] = value;
}
function set_checked(el, state) {
  // A framework that keeps `checked` on the element itself (React) learns of
  // a tick only from a click, as from a user's: tick it that way first.
  if (Object.getOwnPropertyDescriptor(el, "checked") && el.checked != state &&
      typeof el.click == "function") {
    el.click();
  }
  if (el.checked != state) { set_own(el, "checked", state); }
}
function find_scan(doc, tag, key, skip, attr) {
  var list = doc.getElementsByTagName(tag);
  if (!attr && key == parseInt(key)) { return list[parseInt(key)]; }
  var count = 0;
  for (var i = 0; i < list.length; i++) {
    var el = list[i];
    var hit = attr ? el.getAttribute(attr) == key : check(el, key);
    if (hit) {
      if (count == skip) { return el; }
      count = count + 1;
    }
  }
  return undefined;
}
function find_plain(doc, query, skip, attr) {
  // The search without the indexed shortcut (kept for comparisons).
  return find_query(doc, query, skip, attr, false);
}
function find_query(doc, query, skip, attr, indexed) {
  if (doc == undefined) { return undefined; }
  skip = skip ? skip : 0;
  query = String(query);
  var cut = query.indexOf("==");
  var tag = cut < 0 ? query : query.substring(0, cut);
  var key = cut < 0 ? undefined : query.substring(cut + 2);
  var hit = indexed ? find_indexed(doc, tag, key, skip, attr) : find_indexed;
  hit = hit === find_indexed ? find_scan(doc, tag, key, skip, attr) : hit;
  return hit === undefined ? find_in_shadows(doc, tag, key, skip, attr) : hit;
}
// The elements of tag inside the open shadow roots below root (nested ones
// too), in document order: a host's shadow elements follow the host.
function shadow_elements(root, tag, inside, out) {
  var all = root.querySelectorAll("*");
  for (var i = 0; i < all.length; i++) {
    var el = all[i];
    if (inside && tag_listed(el, tag)) { out.push(el); }
    if (el.shadowRoot) { shadow_elements(el.shadowRoot, tag, true, out); }
  }
  return out;
}
// Whether getElementsByTagName(tag) of a document would list el.
function tag_listed(el, tag) {
  if (tag == "*") { return true; }
  var name = el.prefix ? el.prefix + ":" + el.localName : el.localName;
  return el.namespaceURI == "http://www.w3.org/1999/xhtml" && el.ownerDocument.contentType == "text/html"
    ? name === String(tag).toLowerCase() : name === tag;
}
// find's second look, when the document itself has no match: the same rules
// over the elements inside open shadow roots.
function find_in_shadows(doc, tag, key, skip, attr) {
  if (typeof doc.querySelectorAll != "function") { return undefined; }
  var list = shadow_elements(doc, tag, false, []);
  if (list.length == 0) { return undefined; }
  if (!attr && key == parseInt(key)) { return list[parseInt(key)]; }
  var count = 0;
  for (var i = 0; i < list.length; i++) {
    var el = list[i];
    if (attr ? el.getAttribute(attr) == key : check(el, key)) {
      if (count == skip) { return el; }
      count = count + 1;
    }
  }
  return undefined;
}
// An element the user types text into that has no value of its own (a
// contenteditable editor): its shown text stands for the value.
function is_editable_text(el) {
  return typeof el.value != "string" && el.isContentEditable === true;
}
function set_value(el, value) {
  if (is_editable_text(el)) { el.innerText = value; } else { set_own(el, "value", value); }
}
function get_value(el) {
  return is_editable_text(el) ? el.innerText : el.value;
}
// File inputs: file_target makes the input reachable by a click at a point
// of the view (scrolled to, or laid over the page for the click when hidden)
// and gives that point as "x,y"; file_done puts the input back as it was and
// gives the number of files it holds.
var file_restore = null;
function file_target(el) {
  file_done();
  var doc = el.ownerDocument;
  if (el.scrollIntoView) { el.scrollIntoView({block: "center", inline: "center"}); }
  var r = el.getBoundingClientRect();
  var x = r.left + r.width / 2, y = r.top + r.height / 2;
  if (!(r.width > 1 && r.height > 1) || doc.elementFromPoint(x, y) !== el) {
    file_restore = {el: el, style: el.getAttribute("style")};
    el.style.cssText += ";display:inline-block !important;visibility:visible !important;" +
      "position:fixed !important;left:0 !important;top:0 !important;width:40px !important;" +
      "height:20px !important;opacity:0 !important;z-index:2147483647 !important;" +
      "pointer-events:auto !important;transform:none !important;";
    x = 20; y = 10;
  } else {
    file_restore = {el: el, style: undefined};
  }
  for (var win = doc.defaultView; win && win.frameElement; win = win.parent) {
    var f = win.frameElement.getBoundingClientRect();
    x += f.left + win.frameElement.clientLeft;
    y += f.top + win.frameElement.clientTop;
  }
  return Math.round(x) + "," + Math.round(y);
}
function file_done() {
  var kept = file_restore;
  file_restore = null;
  if (!kept) { return -1; }
  if (kept.style !== undefined) {
    if (kept.style === null) { kept.el.removeAttribute("style"); } else { kept.el.setAttribute("style", kept.style); }
  }
  return kept.el.files ? kept.el.files.length : 0;
}
function file_clear(el) {
  if (el.value != "") {
    el.value = "";
    el.dispatchEvent(new Event("input", {bubbles: true}));
    el.dispatchEvent(new Event("change", {bubbles: true}));
  }
}
// find for a plain key, which check() tests on every element of the tag in
// turn. The elements its id, name and class tests could take come from the
// document's own lookups instead (an id selector, a selector on a name in
// any namespace, the class list, which holds every exact class and some
// more), with the forms, whose controls can stand in for those properties;
// only those are tested in full. Every other element is tested for the
// rest: its inner text or HTML, value and link, as check() reads them. An
// SVG class is an object whose text no lookup gives, and a key of spaces
// has no class to look up, so those keys are scanned. An id, name or class
// that a page's own getter makes up, with no attribute behind it, is not
// found this way.
function find_keyed(doc, tag, key, skip) {
  var none = find_indexed;
  if (typeof key != "string" || key === "" || key == parseInt(key) || typeof tag != "string" ||
      tag === "" || typeof skip != "number" || !(skip >= 0) || skip % 1 != 0 || doc.nodeType !== 9 ||
      typeof CSS == "undefined" || key === "[object SVGAnimatedString]" ||
      /^[\t\n\f\r ]*$|[\u0000\uD800-\uDFFF]/.test(key)) { return none; }
  var lists;
  try {
    var value = "=\"" + CSS.escape(key) + "\"]";
    lists = [doc.querySelectorAll("[id" + value), doc.querySelectorAll("[*|name" + value),
             doc.getElementsByClassName(key), doc.forms];
  } catch (e) {
    return none;
  }
  var marked = [];
  for (var m = 0; m < lists.length; m++) {
    for (var n = 0; n < lists[m].length; n++) { marked.push(lists[m][n]); }
  }
  var only = marked.length == 1 ? marked[0] : null;
  var many = marked.length > 1 ? new Set(marked) : null;
  var list = doc.getElementsByTagName(tag);
  var count = 0;
  for (var i = 0; i < list.length; i++) {
    var el = list[i];
    var hit = el === only || (many !== null && many.has(el)) ? check(el, key) :
      (el.firstChild ? el.innerText == key || el.innerHTML == key : false) || el.value == key || el.href == key;
    if (hit) {
      if (count == skip) { return el; }
      count = count + 1;
    }
  }
  return undefined;
}
// Whether element el is one that getElementsByTagName(tag) lists, for a tag
// without upper-case letters or ":" (for those the qualified name alone
// decides, in HTML and XML documents alike).
function tag_of(el, tag) {
  return tag == "*" || (el.prefix ? el.prefix + ":" + el.localName : el.localName) === tag;
}
// find through the document's indexes, for a key on an attribute: the id map
// for the first "id" match, else a selector on that attribute in any
// namespace, which lists every element the scan would take (and some more,
// as selector names and a few values match without regard to case); each is
// then tested as the scan tests it. Answers find_indexed itself where that
// cannot be proved, and the caller scans.
function find_indexed(doc, tag, key, skip, attr) {
  var none = find_indexed;
  if (attr === "") { return find_keyed(doc, tag, key, skip); }
  if (typeof key != "string" || key === "" || typeof attr != "string" ||
      typeof tag != "string" || tag === "" || typeof skip != "number" || !(skip >= 0) ||
      skip % 1 != 0 || doc.nodeType !== 9 || typeof CSS == "undefined") { return none; }
  if (/[\u0000\uD800-\uDFFF:]/.test(attr + key + tag) || /[A-Z]/.test(tag)) { return none; }
  if (attr === "id" && skip === 0) {
    var first = doc.getElementById(key);
    if (first && tag_of(first, tag) && first.getAttribute(attr) == key) { return first; }
  }
  var list;
  try {
    list = doc.querySelectorAll((tag == "*" ? "" : CSS.escape(tag)) + "[*|" + CSS.escape(attr) +
                                "=\"" + CSS.escape(key) + "\"]");
  } catch (e) {
    return none;
  }
  var count = 0;
  for (var i = 0; i < list.length; i++) {
    var el = list[i];
    if (tag_of(el, tag) && el.getAttribute(attr) == key) {
      if (count == skip) { return el; }
      count = count + 1;
    }
  }
  return undefined;
}
