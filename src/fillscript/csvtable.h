#pragma once
// Data tables for data-driven runs: comma-separated files with a header row,
// read from UTF-8 (with or without byte-order mark) or GB18030, and written
// back for extracted values.
#include <string>
#include <string_view>
#include <vector>

namespace fillscript {

// GB18030 text throughout.
struct CsvTable {
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;  // each as long as the header
};

struct CsvReadResult {
    bool ok = false;
    CsvTable table;
    std::string error;  // when !ok: what is wrong and on which line (UTF-8)
};

// Quoting as in RFC 4180: a field in double quotes may hold commas, line
// breaks and doubled quotes; records end with CR LF, LF or CR. Lines with no
// text at all are skipped. A record shorter than the header gets empty
// fields (spreadsheet exports drop trailing empty cells); a longer one, an
// unclosed quote, text after a closing quote, an empty or missing header, or
// a non-empty column name given twice is an error.
CsvReadResult readCsv(std::string_view fileBytes);

// One record: fields quoted when they hold a comma, quote or line break,
// ended by CR LF.
std::string csvRecord(const std::vector<std::string>& fields);

}  // namespace fillscript
