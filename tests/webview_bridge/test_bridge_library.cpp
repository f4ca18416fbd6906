// The page library in the page, on the real engine: installed once under one
// hidden name and installed again whenever a run finds it missing; and the
// element search through the document's indexes, compared with the plain
// search on randomised pages.
#include "bridgetest.h"

#include "webview/bridge/scripts.h"

#include <QRandomGenerator>

using namespace bridge_test;

namespace {

QString q(const std::string& s) { return rt::gbToQString(s); }

const std::string kName = webview::bridge::kLibraryName;

// A page of random elements whose attributes, values and texts are drawn from
// a few keys, so that keys repeat across ids, names, classes, values, texts
// and tags, with an inner frame of the same kind.
QByteArray randomElements(QRandomGenerator& random, int count)
{
    static const char* keys[] = {"k0", "k1", "k2", "K1", "k0 k1", "", " "};
    static const char* tags[] = {"input", "div", "span", "a", "li", "button", "textarea", "select", "form"};
    const auto pick = [&](const auto& list) {
        return QByteArray(list[random.bounded(int(std::size(list)))]);
    };
    const auto maybe = [&](const char* attribute) {
        return random.bounded(3) == 0 ? QByteArray(" ") + attribute + "=\"" + pick(keys) + "\"" : QByteArray();
    };
    QByteArray html;
    for (int i = 0; i < count; ++i) {
        const QByteArray tag = pick(tags);
        const QByteArray attributes = maybe("id") + maybe("name") + maybe("class") + maybe("value") +
                                      maybe("data-k") + (tag == "a" ? maybe("href") : QByteArray());
        if (tag == "input") {
            html += "<input" + attributes + ">";
        } else if (tag == "select") {
            html += "<select" + attributes + "><option value=\"" + pick(keys) + "\">" + pick(keys) +
                    "</option></select>";
        } else if (tag == "form") {
            // A control named "id" or "value" shadows the form's own property.
            html += "<form" + attributes + "><input name=\"" + (random.bounded(2) ? "id" : "value") +
                    "\"></form>";
        } else {
            const QByteArray content = random.bounded(3) == 0 ? "<b>" + pick(keys) + "</b>" : pick(keys);
            html += "<" + tag + attributes + ">" + content + "</" + tag + ">";
        }
        html += random.bounded(4) == 0 ? "\n" : "";
    }
    // Elements of another namespace: SVG classes are objects, not texts.
    html += "<svg><circle" + maybe("id") + maybe("class") + maybe("name") + "></circle><a" + maybe("id") +
            maybe("name") + "></a></svg>";
    return html;
}

QByteArray escapedForSrcdoc(QByteArray html)
{
    return html.replace('&', "&amp;").replace('"', "&quot;");
}

}  // namespace

class TestBridgeLibrary : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void hiddenAndShort();
    void newDocumentsAndFrames();
    void reinstalled_data();
    void reinstalled();
    void scriptsKeepTheirNames_data();
    void scriptsKeepTheirNames();
    void runsBindWhatTheyName_data();
    void runsBindWhatTheyName();
    void indexedSearchEqualsScan_data();
    void indexedSearchEqualsScan();

private:
    bool openFile(const std::string& path);
    bridge_test::HostedView m_view;
    Pages m_pages;
};

void TestBridgeLibrary::initTestCase() { QVERIFY(m_view.start()); }

bool TestBridgeLibrary::openFile(const std::string& path)
{
    m_view.web.loadUrl(path);
    const std::string tail = path.substr(path.rfind('/'));
    return waitUntil([&] {
        const std::string href = m_view.web.runScriptText("text = location.href;");
        return m_view.web.isLoadingCompleted() && href.size() >= tail.size() &&
               href.compare(href.size() - tail.size(), tail.size(), tail) == 0 &&
               m_view.eval("document.readyState") == "complete";
    });
}

void TestBridgeLibrary::hiddenAndShort()
{
    webview::WebView& web = m_view.web;
    QVERIFY(m_view.open("keys.html"));
    QVERIFY(web.runScriptText("text = 'x';") == "x");
    // One property, not enumerable, a frozen object; the page's own
    // window.find is untouched.
    const QString probe = QString::fromStdString(
        "var d = Object.getOwnPropertyDescriptor(window, '" + kName + "');"
        "var listed = false; for (var p in window) { if (p == '" + kName + "') listed = true; }"
        "return [d !== undefined, d && d.enumerable, listed, Object.keys(window).indexOf('" + kName +
        "') >= 0, Object.isFrozen(d.value), typeof window.find, typeof window.finds].join(',');");
    QCOMPARE(valueText(web, web.runScript(probe.toStdString())),
             QString("true,false,false,false,true,function,undefined"));
    // A run carries a short call, not the library.
    const std::u16string run = webview::bridge::libraryRun(u"text = 1;");
    QVERIFY(run.find(u"function str_mid") == std::u16string::npos);
    QVERIFY(run.size() * 4 < webview::bridge::pageLibraryUtf16().size());
}

// A navigation leaves a document without the library; the next command
// installs it and finds its element, in a frame of the page or in one added
// after the install.
void TestBridgeLibrary::newDocumentsAndFrames()
{
    webview::WebView& web = m_view.web;
    QVERIFY(m_view.open("keys.html"));
    const std::string installed = "return typeof window['" + kName + "'];";
    QCOMPARE(valueText(web, web.runScript(installed)), QString("object"));
    QCOMPARE(q(web.navigate(pagePath("frames.html"))), QString("success"));
    QVERIFY(waitUntil([&] {
        return valueText(web, web.runScript("return document.title + document.readyState;")) == "framescomplete";
    }));
    QCOMPARE(valueText(web, web.runScript(installed)), QString("undefined"));
    QCOMPARE(q(web.getValue("input", "v", 0, "first")), QString("outer-first"));
    QCOMPARE(valueText(web, web.runScript(installed)), QString("object"));
    web.runScriptText("var f = document.createElement('iframe'); f.id = 'late';"
                      "f.srcdoc = '<input id=w value=late-value>'; document.body.appendChild(f); text = '';");
    QVERIFY(waitUntil([&] { return m_view.eval("document.getElementById('late').contentDocument.readyState") == "complete"; }));
    QCOMPARE(q(web.getValue("input", "w", 0, "late")), QString("late-value"));
    QCOMPARE(q(web.setValue("input", "w", "changed", 0, "late", "id")), QString("success"));
    QCOMPARE(q(m_view.eval("document.getElementById('late').contentDocument.getElementById('w').value")),
             QString("changed"));
}

void TestBridgeLibrary::reinstalled_data()
{
    QTest::addColumn<std::string>("damage");
    QTest::addColumn<bool>("standsAfter");
    QTest::newRow("left alone") << std::string("") << true;
    QTest::newRow("deleted") << "delete window['" + kName + "'];" << true;
    QTest::newRow("overwritten") << "window['" + kName + "'] = {a: []};" << true;
    QTest::newRow("replaced by a number") << "window['" + kName + "'] = 5;" << true;
    QTest::newRow("functions taken") << "window['" + kName + "'] = {k: 'guess', a: [1, 2, 3]};" << true;
    QTest::newRow("page's own apply") << std::string("Function.prototype.apply = function () { return 'page'; };")
                                      << true;
    // The name held by the page for good: every run carries the library.
    QTest::newRow("taken for good") << "delete window['" + kName + "']; Object.defineProperty(window, '" +
                                           kName + "', {value: 0, configurable: false});"
                                    << false;
}

// Every damage leaves the operations exact, and the script of a run that
// found the library missing runs once.
void TestBridgeLibrary::reinstalled()
{
    QFETCH(std::string, damage);
    QFETCH(bool, standsAfter);
    webview::WebView& web = m_view.web;
    QVERIFY(m_view.open("keys.html"));  // a new document each row
    QCOMPARE(q(web.runScriptText("window.runs = 0; text = typeof window['" + kName + "'];")), QString("object"));
    web.runScript(damage + "return 1;");
    QCOMPARE(q(web.runScriptText("window.runs++; text = str_mid('<a>', '<', '>') + window.runs;")),
             QString("a1"));
    QCOMPARE(q(web.setValue("input", "kw", "written", 1)), QString("success"));
    QCOMPARE(q(web.getValue("input", "kw", 1)), QString("written"));
    QCOMPARE(q(web.runScriptText("text = test_jmp + '|' + ('test_str' in window);")), QString("0|true"));
    QCOMPARE(valueText(web, web.runScript("var o = window['" + kName + "']; return !!(o && o.a && o.a.length > 8);")),
             standsAfter ? QString("true") : QString("false"));
}

void TestBridgeLibrary::scriptsKeepTheirNames_data()
{
    QTest::addColumn<std::string>("script");
    QTest::addColumn<QString>("expected");
    // A script's own declaration of a library name wins, as it did when the
    // library was declared in the run itself.
    QTest::newRow("own function") << std::string("function str_mid() { return 'own'; } text = str_mid('a', 'b', 'c');")
                                  << "own";
    QTest::newRow("own variable") << std::string("var check = 7; text = check;") << "7";
    QTest::newRow("declared, not assigned") << std::string("var finds; text = typeof finds;") << "function";
    // "use strict" after the library was no directive: undeclared names stay globals.
    QTest::newRow("strict text") << std::string("'use strict'; undeclaredName = 3; text = undeclaredName;") << "3";
    QTest::newRow("value of return") << std::string("text = 'a'; return 'b';") << "b";
    QTest::newRow("closing comment") << std::string("text = 'c' // done") << "c";
    QTest::newRow("this is the window") << std::string("text = this === window;") << "true";
    QTest::newRow("page global L") << std::string("window.L = 'page'; text = L;") << "page";
}

void TestBridgeLibrary::scriptsKeepTheirNames()
{
    QFETCH(std::string, script);
    QFETCH(QString, expected);
    QCOMPARE(q(m_view.web.runScriptText(script)), expected);
}

void TestBridgeLibrary::runsBindWhatTheyName_data()
{
    QTest::addColumn<std::string>("script");
    QTest::addColumn<QString>("expected");
    // A run binds only the library names its script writes, unless the
    // script can reach one without writing it.
    QTest::newRow("name written") << std::string("text = typeof str_mid;") << "function";
    QTest::newRow("name built for eval") << std::string("text = eval('typeof str' + '_mid');") << "function";
    QTest::newRow("the run's arguments") << std::string("text = arguments.length > 20;") << "true";
    QTest::newRow("name spelt with an escape") << std::string("text = typeof \\u0073tr_mid;") << "function";
    QTest::newRow("page's own property of that name")
        << std::string("window.check = 'page'; text = window.check + typeof check;") << "pagefunction";
}

void TestBridgeLibrary::runsBindWhatTheyName()
{
    QFETCH(std::string, script);
    QFETCH(QString, expected);
    QVERIFY(m_view.open("keys.html"));  // the library installed, not inline
    QCOMPARE(q(m_view.web.runScriptText(script)), expected);
}

void TestBridgeLibrary::indexedSearchEqualsScan_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed = 1; seed <= 8; ++seed)
        QTest::newRow(qPrintable(QStringLiteral("seed %1").arg(seed))) << seed;
}

// For every locator over a set of tags, keys, attributes, skip counts and
// frames: the same element, or none, as the plain search.
void TestBridgeLibrary::indexedSearchEqualsScan()
{
    QFETCH(quint32, seed);
    QRandomGenerator random(seed);
    const QByteArray inner = randomElements(random, 40);
    const QByteArray html = "<!doctype html><html><head><meta charset='utf-8'></head><body>" +
                            randomElements(random, 60) + "<iframe id=\"fr\" srcdoc=\"" + escapedForSrcdoc(inner) +
                            "\"></iframe>" + randomElements(random, 30) + "</body></html>";
    QVERIFY(openFile(m_pages.write(QStringLiteral("random%1.html").arg(seed), html)));
    QVERIFY(waitUntil([&] { return m_view.eval("document.getElementById('fr').contentDocument.readyState") == "complete"; }));
    const std::string compare = R"js(
var seed = )js" + std::to_string(seed) + R"js(;
function next() { seed = (seed * 1103515245 + 12345) % 2147483648; return seed; }
function disturb(doc) {
  // Values typed or set after parsing, an element named in upper case by
  // its namespace's rules, and names in another namespace.
  var inputs = doc.getElementsByTagName("input");
  for (var i = 0; i < inputs.length; i++) { if (next() % 3 == 0) { inputs[i].value = ["k0", "k1", "K1"][next() % 3]; } }
  var odd = doc.createElementNS("http://www.w3.org/1999/xhtml", "INPUT");
  odd.id = "k1";
  doc.body.insertBefore(odd, doc.body.firstChild);
  var ns = doc.createElement("input");
  ns.setAttributeNS("urn:other", "name", "k0");
  ns.setAttributeNS("urn:other", "p:id", "k2");
  doc.body.appendChild(ns);
}
disturb(document);
disturb(document.getElementById("fr").contentDocument);
var tags = ["input", "div", "a", "*", "INPUT", "circle", "li", "select", "form", "b"];
var keys = ["k0", "k1", "k2", "K1", "k0 k1", "", "0", "2", "[object HTMLInputElement]", "k1==x", "about:blank#k0",
            "[object SVGAnimatedString]", " "];
var attrs = ["", "id", "name", "class", "value", "data-k", "ID", "href", "p:id"];
var frames = ["", "fr"];
var bad = [], compared = 0, indexed = 0;
for (var f = 0; f < frames.length; f++) {
  var doc = frames[f] ? x_f(frames[f]) : document;
  for (var t = 0; t < tags.length; t++) for (var k = 0; k < keys.length; k++)
  for (var a = 0; a < attrs.length; a++) for (var s = 0; s < 3; s++) {
    var query = tags[t] + "==" + keys[k];
    var got = find(doc, query, s, attrs[a]);
    var want = find_plain(doc, query, s, attrs[a]);
    compared++;
    if (find_indexed(doc, tags[t], keys[k], s, attrs[a]) !== find_indexed) { indexed++; }
    if (got !== want) {
      bad.push(frames[f] + ":" + query + "," + s + "," + attrs[a] + ": " + (got ? got.outerHTML : got) +
               " instead of " + (want ? want.outerHTML : want));
    }
  }
}
text = compared + "|" + indexed + "|" + bad.slice(0, 5).join("\n");
)js";
    const QStringList parts = q(m_view.web.runScriptText(compare)).split('|');
    QCOMPARE(parts.size(), 3);
    QCOMPARE(parts[2], QString());
    QCOMPARE(parts[0].toInt(), 2 * 10 * 13 * 9 * 3);
    // The indexes answered a good share of the locators themselves.
    QVERIFY2(parts[1].toInt() > parts[0].toInt() / 4, qPrintable(parts[1]));
}

QTEST_MAIN(TestBridgeLibrary)
#include "test_bridge_library.moc"
