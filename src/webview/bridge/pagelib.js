// Page library: placed before every script the bridge runs. A run is a
// function body, so the functions below are the run's own and never replace
// page functions of the same name (window.find stays the page's). The two
// globals are properties of the page window.
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
  if (doc == undefined) { return undefined; }
  skip = skip ? skip : 0;
  query = String(query);
  var cut = query.indexOf("==");
  var tag = cut < 0 ? query : query.substring(0, cut);
  var key = cut < 0 ? undefined : query.substring(cut + 2);
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
function finds(query, skip, attr) {
  return find(document, query, skip, attr);
}
function x_f2(path) {
  var win = undefined;
  var parts = String(path).split("|");
  for (var k = 0; k < parts.length; k++) {
    var sel = parts[k];
    var frames = (win == undefined ? document : win.document).getElementsByTagName("iframe");
    if (sel == parseInt(sel)) {
      win = frames[parseInt(sel)].contentWindow;
    } else {
      for (var i = 0; i < frames.length; i++) {
        if (check(frames[i], sel)) { win = frames[i].contentWindow; }
      }
    }
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
      doc = frames[parseInt(sel)].contentWindow.document;
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
    doc = found.contentWindow.document;
  }
  return doc;
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
