#pragma once
// What a read left out: the import takes one Component per style rule of
// this designer's form and ignores the rest, silently. This counts the rest,
// so that the user can be told.
#include "design/component.h"

#include <QString>

#include <string>
#include <string_view>

namespace design {

struct LeftOut {
    int elements = 0;  // body lines with an element that no Component took
    int rules = 0;     // rules of the style section that made no Component
};

// The page text as a read sees it: the file's bytes up to the first NUL,
// decoded from UTF-8 (an unreadable file gives the empty text).
std::string readPageText(const QString& path);
// Counts against the Components the page gave.
LeftOut leftOutOf(std::string_view page, const ComponentList& taken);

}  // namespace design
