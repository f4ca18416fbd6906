// Data files: any bytes as a CSV file. A table that reads is rectangular,
// and writing it and reading it back is stable after one round.
#include "fillscript/csvtable.h"
#include "fuzzcheck.h"
#include "runtime/textcodec.h"

namespace {

std::string written(const fillscript::CsvTable& t)
{
    std::string gb = fillscript::csvRecord(t.header);
    for (const auto& row : t.rows)
        gb += fillscript::csvRecord(row);
    return rt::gbToUtf8(gb);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const fillscript::CsvReadResult first = fillscript::readCsv(bytes);
    if (!first.ok) {
        FUZZ_CHECK(!first.error.empty());
        return 0;
    }
    FUZZ_CHECK(!first.table.header.empty());
    for (const auto& row : first.table.rows)
        FUZZ_CHECK(row.size() == first.table.header.size());
    const fillscript::CsvReadResult second = fillscript::readCsv(written(first.table));
    FUZZ_CHECK(second.ok);
    FUZZ_CHECK(second.table.rows.size() == first.table.rows.size());
    const fillscript::CsvReadResult third = fillscript::readCsv(written(second.table));
    FUZZ_CHECK(third.ok);
    FUZZ_CHECK(third.table.header == second.table.header);
    FUZZ_CHECK(third.table.rows == second.table.rows);
    return 0;
}
