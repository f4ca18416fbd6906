#include "fillscript/csvtable.h"

#include "fillscript/scriptfile.h"
#include "runtime/textcodec.h"

#include <set>

namespace fillscript {
namespace {

// Walks the text record by record. Byte-wise parsing is safe on GB18030: the
// quote, comma, CR and LF bytes never occur inside a multi-byte character.
class CsvParser {
public:
    explicit CsvParser(std::string_view text) : s_(text) {}

    bool atEnd() const { return i_ >= s_.size(); }
    int line() const { return line_; }
    const std::string& error() const { return error_; }

    // The next record; false with error() set when it is malformed. A line
    // with no text gives an empty record.
    bool next(std::vector<std::string>& fields, int& startLine)
    {
        fields.clear();
        startLine = line_;
        if (endOfLine())
            return true;
        for (;;) {
            std::string field;
            if (i_ < s_.size() && s_[i_] == '"') {
                if (!quoted(field))
                    return false;
            } else {
                while (i_ < s_.size() && s_[i_] != ',' && s_[i_] != '\r' && s_[i_] != '\n')
                    field.push_back(s_[i_++]);
            }
            fields.push_back(std::move(field));
            if (i_ < s_.size() && s_[i_] == ',') {
                ++i_;
                continue;
            }
            if (endOfLine())
                return true;
            error_ = "line " + std::to_string(line_) + ": text after a closing quote";
            return false;
        }
    }

private:
    bool endOfLine()
    {
        if (i_ >= s_.size())
            return true;
        if (s_[i_] == '\r') {
            ++i_;
            if (i_ < s_.size() && s_[i_] == '\n')
                ++i_;
        } else if (s_[i_] == '\n') {
            ++i_;
        } else {
            return false;
        }
        ++line_;
        return true;
    }

    bool quoted(std::string& field)
    {
        const int opened = line_;
        ++i_;
        while (i_ < s_.size()) {
            const char c = s_[i_++];
            if (c == '"') {
                if (i_ < s_.size() && s_[i_] == '"') {
                    field.push_back('"');
                    ++i_;
                    continue;
                }
                return true;
            }
            if (c == '\n' || (c == '\r' && (i_ >= s_.size() || s_[i_] != '\n')))
                ++line_;
            field.push_back(c);
        }
        error_ = "line " + std::to_string(opened) + ": a quoted field is not closed";
        return false;
    }

    std::string_view s_;
    std::size_t i_ = 0;
    int line_ = 1;
    std::string error_;
};

CsvReadResult failed(std::string error)
{
    CsvReadResult r;
    r.error = std::move(error);
    return r;
}

}  // namespace

CsvReadResult readCsv(std::string_view fileBytes)
{
    const std::string text = decodeScriptFile(fileBytes);
    CsvParser parser(text);
    std::vector<std::string> fields;
    int line = 0;
    CsvReadResult r;
    bool haveHeader = false;
    while (!parser.atEnd()) {
        if (!parser.next(fields, line))
            return failed(parser.error());
        if (fields.empty())
            continue;
        if (!haveHeader) {
            std::set<std::string> seen;
            for (const std::string& name : fields) {
                // A name whose bytes are no text would turn into another
                // name (U+FFFD) once written out.
                if (rt::utf16ToGb(rt::gbToUtf16(name)) != name)
                    return failed("line " + std::to_string(line) + ": the column name \"" +
                                  rt::gbToUtf8(name) + "\" is not valid UTF-8 or GB18030 text");
                if (!name.empty() && !seen.insert(name).second)
                    return failed("line " + std::to_string(line) + ": the column \"" +
                                  rt::gbToUtf8(name) + "\" is named twice");
            }
            r.table.header = fields;
            haveHeader = true;
            continue;
        }
        if (fields.size() > r.table.header.size())
            return failed("line " + std::to_string(line) + ": " + std::to_string(fields.size()) +
                          " fields, the header names " + std::to_string(r.table.header.size()));
        fields.resize(r.table.header.size());
        r.table.rows.push_back(fields);
    }
    if (!haveHeader)
        return failed("no header row");
    r.ok = true;
    return r;
}

std::string csvRecord(const std::vector<std::string>& fields)
{
    // A lone empty field is quoted: an empty line would be read as no record.
    if (fields.size() == 1 && fields[0].empty())
        return "\"\"\r\n";
    std::string out;
    for (std::size_t k = 0; k < fields.size(); ++k) {
        if (k)
            out += ',';
        const std::string& f = fields[k];
        if (f.find_first_of(",\"\r\n") == std::string::npos) {
            out += f;
            continue;
        }
        out += '"';
        for (const char c : f) {
            if (c == '"')
                out += '"';
            out += c;
        }
        out += '"';
    }
    out += "\r\n";
    return out;
}

}  // namespace fillscript
