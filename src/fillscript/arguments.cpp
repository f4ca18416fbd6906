#include "fillscript/arguments.h"

#include "runtime/number.h"

namespace fillscript {

int argInteger(std::string_view text) { return rt::leadingInteger(text); }

bool argLogical(std::string_view text)
{
    return text == "\xD5\xE6";  // "真" in GB18030
}

}  // namespace fillscript
