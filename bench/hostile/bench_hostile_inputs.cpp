// Times the inputs that once took seconds to minutes: a page with one huge
// class name, a page of many lines spelling the reader's internal marker,
// positions of many regex matches, a script line with many trailing
// full-width spaces. Run: build/bin/bench_hostile_inputs
#include "design/import.h"
#include "design/regex.h"
#include "fillscript/parser.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace {

template <class F>
double seconds(F&& f)
{
    const auto t = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

std::string pageWithClass(std::size_t size)
{
    const std::string cls(size, 'a');
    return "<style>div." + cls + " {\r\n  left:1px;\r\n}</style><body>\r\n  <div class= \"" + cls +
           "\">x</div>\r\n</body>";
}

std::string pageOfMarkerLines(int rules)
{
    std::string style, body;
    for (int i = 0; i < rules; ++i) {
        style += "p.c" + std::to_string(i) + " {\r\n}";
        body += "<p class=sjjgklsheguskuef>" + std::to_string(i) + "</p>\r\n";
    }
    return "<style>" + style + "</style><body>\r\n" + body + "</body>";
}

}  // namespace

int main()
{
    for (std::size_t mb : {2, 10}) {
        const std::string doc = pageWithClass(mb * 1000 * 1000);
        std::printf("page with a %zu MB class name: %.3f s\n", mb,
                    seconds([&] { design::detail::readDocument(doc); }));
    }
    for (int rules : {2500, 5000, 10000}) {
        const std::string doc = pageOfMarkerLines(rules);
        std::printf("page of %d marker lines and rules (%.2f MB): %.3f s\n", rules, double(doc.size()) / 1e6,
                    seconds([&] { design::detail::readDocument(doc); }));
    }
    std::string subject;
    for (int i = 0; i < 80000; ++i)
        subject += "ab ";
    design::RegexObject re;
    re.execute("ab", subject);
    long sum = 0;
    std::printf("positions of 80000 regex matches: %.3f s\n", seconds([&] {
                    for (int n = 1; n <= re.matchCount(); ++n) {
                        int position = 0;
                        re.matchText(n, &position);
                        sum += position;
                    }
                }));
    for (int spaces : {40000, 80000}) {
        std::string line = "x";
        for (int i = 0; i < spaces; ++i)
            line += "\xA1\xA1";
        std::printf("normalising x + %d full-width spaces: %.4f s\n", spaces,
                    seconds([&] { fillscript::normaliseLine(line, true); }));
    }
    return sum == 0;
}
