#include "webview/bridge/scripts.h"

#include "runtime/gbtext.h"
#include "runtime/textcodec.h"

#include <QByteArray>
#include <QRandomGenerator>

#include <charconv>
#include <cmath>
#include <limits>

namespace webview::bridge {

extern const char kPageLibraryUtf8[];  // generated from pagelib.js

namespace {

const char kNotFound[] = "if(dom == undefined){text = \"undefined\";}else{";
const char kSuccess[] = " text = \"success\";}";

std::string lit(std::string_view text) { return valueForLiteral(text, '"'); }

std::string flagText(bool flag) { return flag ? "true" : "false"; }

std::string found(std::string_view body) { return kNotFound + std::string(body); }

// One single-byte character inside a literal delimited by quote: the quote,
// CR, LF and NUL escaped, any other as it is.
void appendLiteralChar(std::string& out, char c, char quote)
{
    if (c == quote)
        out += '\\', out += c;
    else if (c == '\r')
        out += "\\r";
    else if (c == '\n')
        out += "\\n";
    else if (c == '\0')
        out += "\\x00";
    else
        out += c;
}

}  // namespace

const std::string& pageLibrary()
{
    static const std::string text = rt::utf8ToGb(kPageLibraryUtf8);
    return text;
}

const std::u16string& pageLibraryUtf16()
{
    static const std::u16string text = rt::gbToUtf16(pageLibrary());
    return text;
}

namespace {

// The names of the library's functions, in their order in the text.
std::vector<std::u16string> libraryFunctionNames()
{
    std::vector<std::u16string> names;
    const std::string_view text = kPageLibraryUtf8;
    const std::string_view word = "\nfunction ";
    for (std::size_t at = text.find(word); at != std::string_view::npos; at = text.find(word, at + 1)) {
        const std::size_t from = at + word.size();
        const std::size_t open = text.find('(', from);
        names.push_back(rt::gbToUtf16(std::string(text.substr(from, open - from))));
    }
    return names;
}

std::u16string randomToken()
{
    const quint64 bits[2] = {QRandomGenerator::system()->generate64(),
                             QRandomGenerator::system()->generate64()};
    const QByteArray hex = QByteArray(reinterpret_cast<const char*>(bits), sizeof bits).toHex();
    return std::u16string(hex.begin(), hex.end());
}

// A run's first statement: answer the missing mark unless the window holds
// the library of this program, whose key is secret to the page's own code.
struct RunParts {
    std::u16string key = randomToken();
    std::u16string missing = u"missing:" + randomToken();
    std::u16string barrier = u"frame:" + randomToken();
    // The run reads the window property once, into a local the page's code
    // cannot reach, and takes everything from there: a short name keeps the
    // text the page compiles for every run short.
    std::u16string lookup = u"__tolvane_lib";
    std::vector<std::u16string> names = libraryFunctionNames();
    std::vector<std::u16string> values;  // where the run takes each function from
    // A run is head + the parameters + headEnd + script + tail (or
    // passingTail) + the arguments + ");".
    std::u16string head;
    std::u16string headEnd;
    std::u16string tail;
    std::u16string passingTail;  // for a run whose `text` is not kept
    std::u16string installer;

    RunParts()
    {
        std::u16string params;
        for (std::size_t i = 0; i < names.size(); ++i) {
            params += (i ? u"," : u"") + names[i];
            values.push_back(lookup + u".a[" + rt::gbToUtf16(std::to_string(i)) + u"]");
        }
        // The functions come in as parameters of the script's own function, so
        // the script's declarations replace them as they replaced the inline
        // ones; the ";" ends any directive prologue ("use strict") the script
        // starts with, as the inline library did.
        // `text` is the run's own variable, so a page's own global `text`
        // (even a const) is never touched; its value is kept for the next
        // run in the library's holder, which only the bridge reaches.
        head = u"var " + lookup + u" = window[\"" + rt::gbToUtf16(kLibraryName) + u"\"];\nif ((" + lookup +
               u" || 0).k !== \"" + key + u"\") { return \"" + missing +
               u"\"; }\nwindow.test_jmp = 0; if (!(\"test_str\" in window)) { window.test_str = undefined; }\n"
               u"return (function (";
        headEnd = u") {var text = " + lookup + u".t.v; try {;\n";
        // The line break keeps " return text;" a statement of its own after a
        // script that ends without a semicolon or in a line comment.
        // Plain element reads pass the functions: no builtin a page may
        // have replaced (Function.prototype.apply) stands in the way.
        // The value stays kept when the script throws or returns early.
        // A frame walk that cannot go on answers the barrier mark.
        const std::u16string barrierCatch =
            u"} catch (e) { if (e === frame_barrier) { return \"" + barrier + u"\"; } throw e; ";
        tail = u"\n return text;\n" + barrierCatch + u"} finally { " + lookup + u".t.v = text; }\n})(";
        passingTail = u"\n return text;\n" + barrierCatch + u"} finally {}\n})(";
        installer = u"(function () {\n" + pageLibraryUtf16() + u"Object.defineProperty(window, \"" +
                    rt::gbToUtf16(kLibraryName) + u"\", {value: Object.freeze({k: \"" + key +
                    u"\", a: Object.freeze([" + params +
                    u"]), t: {v: undefined}}), configurable: true, enumerable: false, writable: true});\n})();";
    }
};

const RunParts& runParts()
{
    static const RunParts parts;
    return parts;
}

}  // namespace

const std::u16string& libraryInstaller() { return runParts().installer; }

namespace {

bool identifierChar(char16_t c)
{
    // Any character past ASCII may be part of a name: taken as one, so that
    // a doubtful case binds the function.
    return c == u'_' || c == u'$' || (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') ||
           (c >= u'A' && c <= u'Z') || c > 0x7f;
}

// Whether script may refer to name: the name stands there as a word.
bool mentions(std::u16string_view script, std::u16string_view name)
{
    for (std::size_t at = script.find(name); at != std::u16string_view::npos; at = script.find(name, at + 1)) {
        const std::size_t end = at + name.size();
        if ((at == 0 || !identifierChar(script[at - 1])) && (end == script.size() || !identifierChar(script[end])))
            return true;
    }
    return false;
}

}  // namespace

std::u16string libraryRun(std::u16string_view script, bool keepsText)
{
    // The run binds the library functions the script names (and the frame
    // mark its own catch needs): the page compiles a shorter text for every
    // run. A script that could reach a name without writing it (eval, the
    // function's arguments, a name spelt with an escape) gets them all.
    const RunParts& parts = runParts();
    const bool all = script.find(u"eval") != std::u16string_view::npos ||
                     script.find(u"arguments") != std::u16string_view::npos ||
                     script.find(u"\\u") != std::u16string_view::npos;
    std::u16string params, args;
    for (std::size_t i = 0; i < parts.names.size(); ++i) {
        if (all || parts.names[i] == u"frame_barrier" || mentions(script, parts.names[i])) {
            params.append(params.empty() ? u"" : u",").append(parts.names[i]);
            args.append(args.empty() ? u"" : u",").append(parts.values[i]);
        }
    }
    const std::u16string& tail = keepsText ? parts.tail : parts.passingTail;
    std::u16string code;
    code.reserve(parts.head.size() + params.size() + parts.headEnd.size() + script.size() + tail.size() +
                 args.size() + 2);
    return code.append(parts.head).append(params).append(parts.headEnd).append(script).append(tail)
        .append(args).append(u");");
}

std::u16string inlineRun(std::u16string_view script)
{
    // The run's own `text`; no earlier run's value is kept on this path.
    return u"var text;\n" + pageLibraryUtf16() + std::u16string(script) + u"\n return text;";
}

const std::string& libraryMissingMark()
{
    static const std::string mark = rt::utf16ToGb(runParts().missing);
    return mark;
}

const std::string& frameBarrierMark()
{
    static const std::string mark = rt::utf16ToGb(runParts().barrier);
    return mark;
}

std::string escapeForLiteral(std::string_view text, char quote)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = rt::gbCharLen(text, i);
        if (n == 1) {
            if (text[i] == '\\')
                out += "\\\\";
            else
                appendLiteralChar(out, text[i], quote);
        } else {
            out.append(text.substr(i, n));
        }
        i += n;
    }
    return out;
}

namespace {

bool isHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Whether text holds `count` hexadecimal digits from `at` on.
bool hexDigitsAt(std::string_view text, std::size_t at, std::size_t count)
{
    if (text.size() < at + count)
        return false;
    for (std::size_t k = at; k < at + count; ++k) {
        if (!isHex(text[k]))
            return false;
    }
    return true;
}

// The length of the escape sequence after a backslash at `at` that keeps its
// script meaning (the letter and its digits), or 0 for an unknown one.
std::size_t knownEscape(std::string_view text, std::size_t at)
{
    if (at + 1 >= text.size() || rt::gbCharLen(text, at + 1) != 1)
        return 0;
    switch (text[at + 1]) {
    case 'n': case 'r': case 't': case 'b': case 'f': case 'v':
    case '\\': case '\'': case '"':
        return 1;
    case '0':
        // "\0" is NUL only when no digit follows (else an octal escape).
        return at + 2 < text.size() && text[at + 2] >= '0' && text[at + 2] <= '9' ? 0 : 1;
    case 'x':
        return hexDigitsAt(text, at + 2, 2) ? 3 : 0;
    case 'u':
        return hexDigitsAt(text, at + 2, 4) ? 5 : 0;
    default:
        return 0;
    }
}

}  // namespace

std::string valueForLiteral(std::string_view text, char quote)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = rt::gbCharLen(text, i);
        if (n != 1) {
            out.append(text.substr(i, n));
            i += n;
            continue;
        }
        const char c = text[i];
        if (c == '\\') {
            if (i + 1 == text.size()) {
                out += "\\\\";  // a lone trailing backslash stays a backslash
                ++i;
            } else if (const std::size_t length = knownEscape(text, i)) {
                out.append(text.substr(i, length + 1));
                i += length + 1;
            } else {
                ++i;  // an unknown escape loses its backslash, as in a script literal
            }
            continue;
        }
        appendLiteralChar(out, c, quote);
        ++i;
    }
    return out;
}

namespace {

std::string memberStep(std::string_view step)
{
    return (step.empty() ? std::string() : "." + std::string(step)) + ";";
}

// The search in `doc`, as a locator with a frame path makes it.
std::string findInDoc(std::string_view tag, std::string_view key, int skip,
                      std::string_view attribute, std::string_view step)
{
    return "var dom = find(doc,\"" + lit(tag) + "==" + lit(key) + "\"," + std::to_string(skip) + ",'" +
           escapeForLiteral(attribute, '\'') + "')" + memberStep(step) + "\r\n";
}

}  // namespace

std::string locator(std::string_view tag, std::string_view key, int skip,
                    std::string_view attribute, std::string_view frame, std::string_view step)
{
    if (!frame.empty())
        return "var doc = x_f(\"" + lit(frame) + "\");\r\n" + findInDoc(tag, key, skip, attribute, step);
    return "var dom = finds(\"" + lit(tag) + "==" + lit(key) + "\"," + std::to_string(skip) + ",\"" +
           lit(attribute) + "\")" + memberStep(step) + "\r\n";
}

std::string frameLocator(std::string_view tag, std::string_view key, int skip,
                         std::string_view attribute, std::string_view step)
{
    return "var doc = document;\r\n" + findInDoc(tag, key, skip, attribute, step);
}

std::string frameStep(std::string_view path, int step, bool windows)
{
    return "text = frame_index(\"" + lit(path) + "\"," + std::to_string(step) + "," + flagText(windows) +
           ");";
}

std::string changeEvent(std::string_view eventName)
{
    return "var obj = document.createEvent(\"MouseEvents\"); obj.initMouseEvent(\"" +
           lit(eventName) + "\",true,false); dom.dispatchEvent(obj);";
}

std::string getElementPosition()
{
    return found(
        "var sizeObj = dom.getBoundingClientRect();var scroller = document.scrollingElement || "
        "document.body;var bodyOffset = {top: scroller.scrollTop, left: scroller.scrollLeft};"
        "text = parseInt(sizeObj.left + bodyOffset.left) + \",\" + parseInt(sizeObj.top + bodyOffset.top);}");
}

std::string waitForElement() { return "if(dom == undefined){text = \"false\";}else{text = \"true\";}"; }
std::string getChecked() { return found("text = dom.checked;}"); }
std::string getCanvasImage() { return found("text = dom.toDataURL(\"image/png\");}"); }

std::string setChecked(bool state)
{
    return found("set_checked(dom," + flagText(state) + ");" + changeEvent() + kSuccess);
}

std::string setSelectedIndex(int index)
{
    return found("set_own(dom,\"selectedIndex\"," + std::to_string(index) + ");" + changeEvent() + kSuccess);
}

std::string getSelectedOption()
{
    return found(
        "text =  dom.selectedIndex + \"|\" + dom.item(dom.selectedIndex).value + \"|\" + "
        "dom.item(dom.selectedIndex).innerText;}");
}

std::string setComboValue(std::string_view value)
{
    return found("set_own(dom,\"value\",\"" + lit(value) + "\");" + changeEvent() + kSuccess);
}

std::string selectOptionByText(std::string_view optionText)
{
    return found("text='undefined';for(var i=0;i<dom.length;i++){if(dom.item(i).innerText==\"" +
                 lit(optionText) + "\"){set_own(dom,\"selectedIndex\",i); " + changeEvent() +
                 " text='success';break;}}}");
}

std::string listOptions()
{
    return found(
        "text = \"\";for(var i=0;i<dom.length;i++){text = text + dom.item(i).innerText + \"|\" + "
        "dom.item(i).value + \"\\r\\n\";}}");
}

std::string getValue() { return found("text = get_value(dom);}"); }
std::string getInnerHtml() { return found("text = dom.innerHTML;}"); }

std::string setValue(std::string_view value)
{
    return found("set_value(dom,\"" + lit(value) + "\");" + kSuccess);
}

std::string isFileInput()
{
    return found("text = dom.tagName == \"INPUT\" && String(dom.type).toLowerCase() == \"file\";}");
}

// "x,y" (see file_target); an empty list clears the input instead.
std::string fileInputTarget(bool clear)
{
    return found(clear ? "file_clear(dom); text = \"success\";}" : "text = \"file:\" + file_target(dom);}");
}

std::string fileInputDone() { return "text = file_done();"; }

std::string setInnerHtml(std::string_view html)
{
    return found("dom.innerHTML = \"" + lit(html) + "\";" + kSuccess);
}

std::string getImageSrc() { return found("text = dom.src;}"); }

std::string setProperty(std::string_view propertyName, std::string_view value)
{
    return found("dom." + std::string(propertyName) + "=\"" + lit(value) + "\";" + kSuccess);
}

std::string getProperty(std::string_view propertyName)
{
    return found("text = dom." + std::string(propertyName) + ";}");
}

std::string click() { return found(std::string("dom.click();") + kSuccess); }
std::string focus() { return found(std::string("dom.focus();") + kSuccess); }
std::string blur() { return found(std::string("dom.blur();") + kSuccess); }

std::string callElementMethod(std::string_view methodName)
{
    return found("dom." + std::string(methodName) + "();" + kSuccess);
}

std::string fireElementEvent(std::string_view eventName)
{
    return found(changeEvent(eventName) + " " + kSuccess);
}

std::string fireElementMouseEvent(std::string_view eventName, bool bubbles, bool cancelable,
                                  int screenX, int screenY, int clientX, int clientY)
{
    return found("var obj = document.createEvent(\"MouseEvents\"); obj.initMouseEvent(\"" +
                 lit(eventName) + "\", " + flagText(bubbles) + ", " + flagText(cancelable) +
                 ", document.defaultView, 0 ," + std::to_string(screenX) + ", " +
                 std::to_string(screenY) + ", " + std::to_string(clientX) + ", " +
                 std::to_string(clientY) +
                 ",false, false, false, false, 0, null); dom.dispatchEvent(obj); " + kSuccess);
}

std::string fireTouchEvent(std::string_view eventName, bool bubbles, bool cancelable)
{
    return found("var obj = document.createEvent(\"TouchEvent\"); obj.initEvent(\"" +
                 lit(eventName) + "\", " + flagText(bubbles) + ", " + flagText(cancelable) +
                 ");dom.dispatchEvent(obj); " + kSuccess);
}

std::string runElementScript(std::string_view statement)
{
    return found(" text = dom." + std::string(statement) + ";}");
}

std::string setElementAttribute(std::string_view attributeName, std::string_view value)
{
    return found("dom.setAttribute(\"" + lit(attributeName) + "\",\"" + lit(value) + "\");" +
                 kSuccess);
}

std::string hideElement()
{
    return found(std::string("dom.setAttribute(\"style\",\"display:none\");") + kSuccess);
}

std::string getElementAttribute(std::string_view attributeName)
{
    return found("text = dom.getAttribute(\"" + lit(attributeName) + "\");}");
}

// ---- Page scripts -----------------------------------------------------------

std::string navigate(std::string_view url)
{
    return "window.location.href = '" + valueForLiteral(url, '\'') +
           "';\r\ntext = 'success';\r\n";
}

std::string getPageUrl(std::string_view frame)
{
    if (frame.empty())
        return "text = window.location.href;\r\n";
    return "text = x_f(\"" + lit(frame) + "\").location.href;\r\n";
}

std::string getDocumentProperty(std::string_view propertyName)
{
    return "text = document." + std::string(propertyName) + ";\r\n";
}

std::string getPageText() { return "text = document.body.outerText;\r\n"; }
std::string getPageSource() { return "text = document.body.outerHTML;\r\n"; }

// The page's scroll offsets as x and y: those of the document's scrolling
// element, which is the body in quirks mode and the root element otherwise.
const char kReadScroll[] =
    "var scroller = document.scrollingElement || document.body;"
    "var x = scroller.scrollLeft;var y = scroller.scrollTop;";

std::string scrollTo(std::optional<int> x, std::optional<int> y)
{
    std::string s = kReadScroll;
    if (x)
        s += "x = " + std::to_string(*x) + ";";
    if (y)
        s += "y = " + std::to_string(*y) + ";";
    return s + "window.scrollTo(x,y); text = 'success';";
}

std::string getScrollPosition()
{
    return std::string(kReadScroll) + "text = x+','+y;";
}

std::string blockAlerts()
{
    return rt::gb("window.alert = function(str){console.log('拦截信息框:'+str) }; text='success';\r\n");
}

std::string clickAtPoint(int x, int y)
{
    return "document.elementFromPoint(" + std::to_string(x) + "," + std::to_string(y) +
           ").click(); text='success'";
}

std::string getReferrer() { return "text = document.referrer;\r\n"; }

std::string listElements(std::string_view tag, std::string_view text, bool mark)
{
    return "text = listdom('" + valueForLiteral(tag, '\'') + "','" + valueForLiteral(text, '\'') +
           "','" + (mark ? "1" : "0") + "');";
}

std::string runFrameScript(std::string_view frame, std::string_view code)
{
    return "var doc_window = x_f2(\"" + lit(frame) + "\");\r\n" +
           "var text; text = doc_window.eval(\"var text;" + escapeForLiteral(code, '"') + ";text;\" );";
}

std::string frameScript(std::string_view code)
{
    // A block at the top level: its var and function declarations become the
    // frame's globals and its let and const stay inside, as in eval.
    return "try {var text;\n" + std::string(code) +
           "\n;[\"v\", String(text)];} catch (e) {var m;try{m=String(e);}catch(x){m=\"exception\";}"
           "try{console.error(\"error: \"+m);}catch(x){}[\"e\", m];}";
}

// ---- Reading results --------------------------------------------------------

int readNumber(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    if (i < text.size() && text[i] == '+')
        ++i;
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data() + i, text.data() + text.size(), value,
                                           std::chars_format::general);
    if (ec == std::errc::result_out_of_range)
        return text.substr(i, 1) == "-" ? std::numeric_limits<int>::min()
                                         : std::numeric_limits<int>::max();
    if (ec != std::errc() || std::isnan(value))
        return 0;
    if (value >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (value <= double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

std::vector<std::string> splitText(std::string_view text, std::string_view separator)
{
    std::vector<std::string> pieces;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = rt::gbFind(text, separator, from);
        if (at == std::string_view::npos || separator.empty())
            break;
        pieces.emplace_back(text.substr(from, at - from));
        from = at + separator.size();
    }
    if (from < text.size())
        pieces.emplace_back(text.substr(from));
    return pieces;
}

namespace {
bool passedOn(const std::string& result)
{
    return result.empty() || result == "undefined" || result == "error";
}
}  // namespace

std::string readSelectedOption(const std::string& result, int& index, std::string& value,
                               std::string& text)
{
    if (passedOn(result))
        return result;
    const auto pieces = splitText(result, "|");
    if (pieces.size() >= 3) {
        index = readNumber(pieces[0]);
        value = pieces[1];
        text = pieces[2];
    }
    return "success";
}

std::string readOptionList(const std::string& result, std::vector<std::string>& texts,
                           std::vector<std::string>& values)
{
    if (passedOn(result))
        return result;
    for (const std::string& line : splitText(result, "\r\n")) {
        const auto pieces = splitText(line, "|");
        if (pieces.size() < 2)
            continue;
        texts.push_back(pieces[0]);
        values.push_back(pieces[1]);
    }
    return "success";
}

std::string readScrollPosition(const std::string& result, int& x, int& y)
{
    const auto pieces = splitText(result, ",");
    if (pieces.size() < 2)
        return {};
    x = readNumber(pieces[0]);
    y = readNumber(pieces[1]);
    return "success";
}

}  // namespace webview::bridge
