// Exact page scripts of the bridge, the escaping of inserted values, and the
// readers of result texts.
#include "runtime/textcodec.h"
#include "webview/bridge/scripts.h"

#include <QTest>

using namespace webview;
namespace b = webview::bridge;

namespace {
const std::string U = "if(dom == undefined){text = \"undefined\";}else{";
const std::string CHG =
    "var obj = document.createEvent(\"MouseEvents\"); obj.initMouseEvent(\"change\",true,false); "
    "dom.dispatchEvent(obj);";
}  // namespace

class TestBridgeScripts : public QObject {
    Q_OBJECT
private slots:
    void scripts_data();
    void scripts();
    void escaping_data();
    void escaping();
    void pageLibrary();
    void splitAndNumbers();
    void selectedOption();
    void optionList();
    void scrollPosition();
};

void TestBridgeScripts::scripts_data()
{
    QTest::addColumn<std::string>("built");
    QTest::addColumn<std::string>("expected");
    auto row = [](const char* name, const std::string& built, const std::string& expected) {
        QTest::newRow(name) << built << expected;
    };

    row("locator main document", b::locator("input", "kw", 0, "", "", ""),
        "var dom = finds(\"input==kw\",0,\"\");\r\n");
    row("locator attribute, skip, step", b::locator("div", "x", 2, "data-k", "", "parentNode"),
        "var dom = finds(\"div==x\",2,\"data-k\").parentNode;\r\n");
    row("locator in frame", b::locator("input", "3", 1, "name", "main|1", "firstChild"),
        "var doc = x_f(\"main|1\");\r\nvar dom = find(doc,\"input==3\",1,'name').firstChild;\r\n");
    row("locator member step kept as code", b::locator("a", "k", 0, "", "", "children[0]"),
        "var dom = finds(\"a==k\",0,\"\").children[0];\r\n");

    row("getElementPosition", b::getElementPosition(),
        U + "var sizeObj = dom.getBoundingClientRect();var scroller = document.scrollingElement || "
            "document.body;var bodyOffset = {top: scroller.scrollTop, left: scroller.scrollLeft};"
            "text = parseInt(sizeObj.left + bodyOffset.left) + \",\" + parseInt(sizeObj.top + bodyOffset.top);}");
    row("waitForElement", b::waitForElement(),
        "if(dom == undefined){text = \"false\";}else{text = \"true\";}");
    row("getChecked", b::getChecked(), U + "text = dom.checked;}");
    row("getCanvasImage", b::getCanvasImage(), U + "text = dom.toDataURL(\"image/png\");}");
    row("setChecked true", b::setChecked(true),
        U + "set_checked(dom,true);" + CHG + " text = \"success\";}");
    row("setChecked false", b::setChecked(false),
        U + "set_checked(dom,false);" + CHG + " text = \"success\";}");
    row("setSelectedIndex", b::setSelectedIndex(-2),
        U + "set_own(dom,\"selectedIndex\",-2);" + CHG + " text = \"success\";}");
    row("getSelectedOption", b::getSelectedOption(),
        U + "text =  dom.selectedIndex + \"|\" + dom.item(dom.selectedIndex).value + \"|\" + "
            "dom.item(dom.selectedIndex).innerText;}");
    row("setComboValue", b::setComboValue("red"),
        U + "set_own(dom,\"value\",\"red\");" + CHG + " text = \"success\";}");
    row("selectOptionByText", b::selectOptionByText("Red"),
        U + "text='undefined';for(var i=0;i<dom.length;i++){if(dom.item(i).innerText==\"Red\")"
            "{set_own(dom,\"selectedIndex\",i); " + CHG + " text='success';break;}}}");
    row("getValue", b::getValue(), U + "text = get_value(dom);}");
    row("getInnerHtml", b::getInnerHtml(), U + "text = dom.innerHTML;}");
    row("setValue", b::setValue("abc"), U + "set_value(dom,\"abc\"); text = \"success\";}");
    row("setInnerHtml", b::setInnerHtml("<b>x</b>"),
        U + "dom.innerHTML = \"<b>x</b>\"; text = \"success\";}");
    row("getImageSrc", b::getImageSrc(), U + "text = dom.src;}");
    row("setProperty", b::setProperty("title", "t"), U + "dom.title=\"t\"; text = \"success\";}");
    row("getProperty", b::getProperty("clientWidth"), U + "text = dom.clientWidth;}");
    row("click", b::click(), U + "dom.click(); text = \"success\";}");
    row("focus", b::focus(), U + "dom.focus(); text = \"success\";}");
    row("blur", b::blur(), U + "dom.blur(); text = \"success\";}");
    row("fireChange", b::fireElementEvent("change"), U + CHG + "  text = \"success\";}");
    row("fireKeyUp", b::fireElementEvent("keyup"),
        U + "var obj = document.createEvent(\"MouseEvents\"); obj.initMouseEvent(\"keyup\",true,false); "
            "dom.dispatchEvent(obj);  text = \"success\";}");
    row("callElementMethod", b::callElementMethod("select"), U + "dom.select(); text = \"success\";}");
    row("fireElementMouseEvent", b::fireElementMouseEvent("mousedown", true, false, 1, 2, 30, 40),
        U + "var obj = document.createEvent(\"MouseEvents\"); obj.initMouseEvent(\"mousedown\", true, "
            "false, document.defaultView, 0 ,1, 2, 30, 40,false, false, false, false, 0, null); "
            "dom.dispatchEvent(obj);  text = \"success\";}");
    row("fireTouchEvent", b::fireTouchEvent("touchstart", false, true),
        U + "var obj = document.createEvent(\"TouchEvent\"); obj.initEvent(\"touchstart\", false, "
            "true);dom.dispatchEvent(obj);  text = \"success\";}");
    row("runElementScript", b::runElementScript("value.length"), U + " text = dom.value.length;}");
    row("setElementAttribute", b::setElementAttribute("data-a", "v"),
        U + "dom.setAttribute(\"data-a\",\"v\"); text = \"success\";}");
    row("hideElement", b::hideElement(),
        U + "dom.setAttribute(\"style\",\"display:none\"); text = \"success\";}");
    row("getElementAttribute", b::getElementAttribute("href"),
        U + "text = dom.getAttribute(\"href\");}");
    row("listOptions", b::listOptions(),
        U + "text = \"\";for(var i=0;i<dom.length;i++){text = text + dom.item(i).innerText + \"|\" + "
            "dom.item(i).value + \"\\r\\n\";}}");

    row("navigate", b::navigate("http://a/b"),
        "window.location.href = 'http://a/b';\r\ntext = 'success';\r\n");
    row("getPageUrl", b::getPageUrl(""), "text = window.location.href;\r\n");
    row("getPageUrl frame", b::getPageUrl("main"), "text = x_f(\"main\").location.href;\r\n");
    row("getDocumentProperty", b::getDocumentProperty("title"), "text = document.title;\r\n");
    row("getPageText", b::getPageText(), "text = document.body.outerText;\r\n");
    row("getPageSource", b::getPageSource(), "text = document.body.outerHTML;\r\n");
    row("scrollTo both", b::scrollTo(5, 6),
        "var scroller = document.scrollingElement || document.body;var x = scroller.scrollLeft;var y = scroller.scrollTop;x = 5;y = 6;"
        "window.scrollTo(x,y); text = 'success';");
    row("scrollTo only y", b::scrollTo(std::nullopt, 70),
        "var scroller = document.scrollingElement || document.body;var x = scroller.scrollLeft;var y = scroller.scrollTop;y = 70;"
        "window.scrollTo(x,y); text = 'success';");
    row("scrollTo none", b::scrollTo(std::nullopt, std::nullopt),
        "var scroller = document.scrollingElement || document.body;var x = scroller.scrollLeft;var y = scroller.scrollTop;"
        "window.scrollTo(x,y); text = 'success';");
    row("getScrollPosition", b::getScrollPosition(),
        "var scroller = document.scrollingElement || document.body;var x = scroller.scrollLeft;var y = scroller.scrollTop;text = x+','+y;");
    row("blockAlerts", b::blockAlerts(),
        rt::gb("window.alert = function(str){console.log('拦截信息框:'+str) }; text='success';\r\n"));
    row("clickAtPoint", b::clickAtPoint(10, -3),
        "document.elementFromPoint(10,-3).click(); text='success'");
    row("getReferrer", b::getReferrer(), "text = document.referrer;\r\n");
    row("listElements", b::listElements("li", "", true), "text = listdom('li','','1');");
    row("listElements unmarked", b::listElements("li", "k", false), "text = listdom('li','k','0');");
    row("runFrameScript", b::runFrameScript("f1", "document.title"),
        "var doc_window = x_f2(\"f1\");\r\nvar text; text = doc_window.eval(\"var text;document.title;text;\" );");
}

void TestBridgeScripts::scripts()
{
    QFETCH(std::string, built);
    QFETCH(std::string, expected);
    QCOMPARE(QString::fromStdString(built), QString::fromStdString(expected));
}

// Values inside quoted literals are escaped for that literal; code is not.
void TestBridgeScripts::escaping_data()
{
    QTest::addColumn<std::string>("built");
    QTest::addColumn<std::string>("expected");
    const std::string nasty = "a\"b'c\\d\r\ne";
    auto row = [](const char* name, const std::string& built, const std::string& expected) {
        QTest::newRow(name) << built << expected;
    };
    row("double-quoted literal", b::escapeForLiteral(nasty, '"'), "a\\\"b'c\\\\d\\r\\ne");
    row("single-quoted literal", b::escapeForLiteral(nasty, '\''), "a\"b\\'c\\\\d\\r\\ne");
    row("NUL", b::escapeForLiteral(std::string("a\0b", 3), '"'), "a\\x00b");
    // 0x81 0x5C is one GBK character whose trail byte is a backslash.
    row("GBK trail byte is no backslash", b::escapeForLiteral("\x81\x5C\"", '"'), "\x81\x5C\\\"");
    // The value's own escapes keep their meaning: "\\d" is an unknown one.
    row("setValue", b::setValue(nasty), U + "set_value(dom,\"a\\\"b'cd\\r\\ne\"); text = \"success\";}");
    row("navigate url", b::navigate("http://x/?q='1'"),
        "window.location.href = 'http://x/?q=\\'1\\'';\r\ntext = 'success';\r\n");
    row("locator key, tag, attribute and frame",
        b::locator("in\"put", "k\"ey", 0, "a'b", "fr\"ame", ""),
        "var doc = x_f(\"fr\\\"ame\");\r\nvar dom = find(doc,\"in\\\"put==k\\\"ey\",0,'a\\'b');\r\n");
    row("locator attribute without frame", b::locator("i", "k", 0, "a\"b", "", ""),
        "var dom = finds(\"i==k\",0,\"a\\\"b\");\r\n");
    row("property name stays code, value escaped", b::setProperty("style.color", "re\"d"),
        U + "dom.style.color=\"re\\\"d\"; text = \"success\";}");
    row("statement stays code", b::runElementScript("getAttribute(\"x\")"),
        U + " text = dom.getAttribute(\"x\");}");
    row("frame code reaches eval unchanged", b::runFrameScript("f", "var s = \"q\";\ns"),
        "var doc_window = x_f2(\"f\");\r\nvar text; text = doc_window.eval(\"var text;var s = "
        "\\\"q\\\";\\ns;text;\" );");
    row("in-frame locator escapes as the framed one", b::frameLocator("in\"put", "k\"ey", 0, "a'b", ""),
        "var doc = document;\r\nvar dom = find(doc,\"in\\\"put==k\\\"ey\",0,'a\\'b');\r\n");
    row("frame step path", b::frameStep("a\"b|c", 1, true), "text = frame_index(\"a\\\"b|c\",1,true);");
    // The code is the whole script's own, between a line break before and after.
    row("frame script keeps code as written", b::frameScript("var s = \"q\"; // x"),
        "try {var text;\nvar s = \"q\"; // x\n;[\"v\", String(text)];} catch (e) {var m;try{m=String(e);}"
        "catch(x){m=\"exception\";}try{console.error(\"error: \"+m);}catch(x){}[\"e\", m];}");
    row("listElements", b::listElements("l'i", "it's", false),
        "text = listdom('l\\'i','it\\'s','0');");
    row("event names", b::fireTouchEvent("t\"s", true, true),
        U + "var obj = document.createEvent(\"TouchEvent\"); obj.initEvent(\"t\\\"s\", true, "
            "true);dom.dispatchEvent(obj);  text = \"success\";}");
}

void TestBridgeScripts::escaping()
{
    QFETCH(std::string, built);
    QFETCH(std::string, expected);
    QCOMPARE(QByteArray::fromStdString(built), QByteArray::fromStdString(expected));
}

void TestBridgeScripts::pageLibrary()
{
    const std::string& lib = b::pageLibrary();
    QVERIFY(!lib.empty());
    QCOMPARE(lib.back(), '\n');
    // The functions, in their order.
    std::size_t at = 0;
    for (const char* name : {"str_mid(", "str_mid_all(", "find(", "finds(", "x_f2(", "listdom(",
                             "check(", "x_f("}) {
        const std::size_t found = lib.find(std::string("function ") + name, at);
        QVERIFY2(found != std::string::npos, name);
        at = found;
    }
    // The console text of x_f is in GB18030 like every other text.
    QVERIFY(lib.find(rt::gb("查找指定标志符框架:")) != std::string::npos);
    QCOMPARE(rt::utf16ToGb(b::pageLibraryUtf16()), lib);
}

void TestBridgeScripts::splitAndNumbers()
{
    using V = std::vector<std::string>;
    QCOMPARE(b::splitText("a,b,", ","), (V{"a", "b"}));
    QCOMPARE(b::splitText("a,,b", ","), (V{"a", "", "b"}));
    QCOMPARE(b::splitText("", ","), V{});
    QCOMPARE(b::splitText("abc", ","), V{"abc"});
    QCOMPARE(b::splitText("x\r\ny\r\n", "\r\n"), (V{"x", "y"}));
    QCOMPARE(b::readNumber("12"), 12);
    QCOMPARE(b::readNumber("  -3.7"), -3);
    QCOMPARE(b::readNumber("10.9px"), 10);
    QCOMPARE(b::readNumber("+4"), 4);
    QCOMPARE(b::readNumber("1e3"), 1000);
    QCOMPARE(b::readNumber("undefined"), 0);
    QCOMPARE(b::readNumber(""), 0);
    QCOMPARE(b::readNumber("1e99"), std::numeric_limits<int>::max());
}

void TestBridgeScripts::selectedOption()
{
    int index = 7;
    std::string value = "v", text = "t";
    QCOMPARE(b::readSelectedOption("2|red|Red", index, value, text), std::string("success"));
    QCOMPARE(index, 2);
    QCOMPARE(value, std::string("red"));
    QCOMPARE(text, std::string("Red"));
    // Results without the shape leave the outs; failures are passed on.
    for (const char* r : {"", "undefined", "error"}) {
        QCOMPARE(b::readSelectedOption(r, index, value, text), std::string(r));
    }
    QCOMPARE(b::readSelectedOption("1|x", index, value, text), std::string("success"));
    QCOMPARE(index, 2);
    QCOMPARE(value, std::string("red"));
}

void TestBridgeScripts::optionList()
{
    std::vector<std::string> texts{"old"}, values{"o"};
    QCOMPARE(b::readOptionList("A|a\r\nbad\r\nB|b\r\n", texts, values), std::string("success"));
    QCOMPARE(texts, (std::vector<std::string>{"old", "A", "B"}));
    QCOMPARE(values, (std::vector<std::string>{"o", "a", "b"}));
    for (const char* r : {"", "undefined", "error"}) {
        QCOMPARE(b::readOptionList(r, texts, values), std::string(r));
    }
    QCOMPARE(texts.size(), std::size_t(3));
}

void TestBridgeScripts::scrollPosition()
{
    int x = 5, y = 6;
    QCOMPARE(b::readScrollPosition("12,340", x, y), std::string("success"));
    QCOMPARE(x, 12);
    QCOMPARE(y, 340);
    QCOMPARE(b::readScrollPosition("undefined", x, y), std::string());
    QCOMPARE(x, 12);
    QCOMPARE(y, 340);
}

QTEST_GUILESS_MAIN(TestBridgeScripts)
#include "test_bridge_scripts.moc"
