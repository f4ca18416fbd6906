// Times page generation with UTF-8 encoding and page import for a design of
// 10,000 Components, the indexed import next to the line-by-line reference.
#include "design/design.h"
#include "design/document.h"
#include "design/import.h"
#include "fakecanvas.h"
#include "runtime/textcodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

using namespace design;
using Clock = std::chrono::steady_clock;

namespace {

double millisecondsOf(const std::function<void()>& f)
{
    const auto t0 = Clock::now();
    f();
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

struct Figures {
    double median, best;
};

Figures repeat(int runs, const std::function<void()>& f)
{
    std::vector<double> t;
    for (int i = 0; i < runs; ++i)
        t.push_back(millisecondsOf(f));
    std::sort(t.begin(), t.end());
    return {t[t.size() / 2], t.front()};
}

void buildDesign(Design& d, int count)
{
    d.clearComponents();
    static const char* tags[] = {"div", "span", "p", "button"};
    const std::string chinese = rt::gb("第几个元素，带一点中文");
    for (int i = 0; i < count; ++i) {
        const std::string extra = (i % 3 == 0) ? "color:#333;\r\nfont-size:14px;\r\n" : "";
        const std::string inner = (i % 2 == 0) ? chinese + std::to_string(i) : "item " + std::to_string(i);
        d.createComponentWithBox(tags[i % 4], "c" + std::to_string(i), (i * 7) % 900, (i * 13) % 700,
                                 40 + i % 200, 20 + i % 80, extra, inner);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Design d;
    test::FakeCanvas canvas(d);
    const int count = 10000;
    buildDesign(d, count);

    std::string bytes;
    const Figures gen = repeat(21, [&] { bytes = encodeUtf8(d.generateDocument()); });
    const std::string doc = d.generateDocument();

    std::printf("design of %d Components, document %zu bytes (UTF-8 %zu bytes)\n", count, doc.size(),
                bytes.size());
    std::printf("generateDocument + encodeUtf8:   median %7.2f ms   best %7.2f ms\n", gen.median, gen.best);

    const Figures indexed = repeat(11, [&] { d.parseDocument(doc); });
    std::printf("parseDocument (indexed):         median %7.2f ms   best %7.2f ms\n", indexed.median,
                indexed.best);

    QTemporaryDir dir;
    const QString path = dir.filePath("page.html");
    d.saveDocumentTo(path);
    const Figures whole = repeat(11, [&] { d.importDocumentFrom(path); });
    std::printf("importDocumentFrom (read+decode+parse): median %7.2f ms   best %7.2f ms\n", whole.median,
                whole.best);

    if (app.arguments().contains("--no-reference"))
        return 0;
    const double reference = millisecondsOf([&] { detail::parseDocumentReference(d, doc); });
    std::printf("parseDocument (line-by-line reference): %7.2f ms (one run)\n", reference);

    const bool same = detail::readDocument(doc) == detail::readDocumentReference(doc);
    std::printf("indexed and reference results %s; %d Components imported\n", same ? "equal" : "DIFFER",
                d.componentCount());
    return same && d.componentCount() == count ? 0 : 1;
}
