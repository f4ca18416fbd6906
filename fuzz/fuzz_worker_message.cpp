// What a worker process sends a data run: any bytes as one message line.
// A message that reads gives, written again and read back, the same
// message (the parent passes rows on to the row record as it reads them).
#include "fillscript/rowjournal.h"
#include "fillscript/workerprotocol.h"
#include "fuzzcheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::optional<fillscript::FromWorker> m = fillscript::readFromWorker(bytes);
    if (!m)
        return 0;
    using K = fillscript::FromWorker;
    std::string again;
    switch (m->kind) {
    case K::Ready: again = fillscript::readyMessage(); break;
    case K::Line: again = fillscript::lineMessage(m->line); break;
    case K::Dialog: again = fillscript::dialogMessage(m->dialog); break;
    case K::Retry: again = fillscript::retryMessage(m->attempt); break;
    case K::Done: again = fillscript::doneMessage(m->row); break;
    case K::Error: again = fillscript::errorMessage(m->error); break;
    }
    FUZZ_CHECK(!again.empty() && again.back() == '\n' && again.find('\n') == again.size() - 1);
    const std::optional<fillscript::FromWorker> back = fillscript::readFromWorker(std::string_view(again).substr(0, again.size() - 1));
    FUZZ_CHECK(back && back->kind == m->kind);
    if (m->kind == K::Done)
        FUZZ_CHECK(fillscript::journalLine(back->row) == fillscript::journalLine(m->row));
    if (m->kind == K::Line)
        FUZZ_CHECK(fillscript::lineMessage(back->line) == again);
    return 0;
}
