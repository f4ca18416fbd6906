#pragma once
// The script lines a recorded user action becomes, in the catalogue's own
// commands. Values the line grammar cannot carry in one argument (commas,
// quotes, backslashes, full-width punctuation, outer spaces) are written as
// an expression of the page language instead, so the replay still writes
// exactly what the user typed; "{{" is written so that no run reads it as a
// data column or variable.
#include "fillscript/pagerecorder.h"

#include <string>
#include <vector>

namespace fillscript {

struct RecordedAction {
    enum Kind { Write, Select, Check, Click, Navigate };
    Kind kind = Click;
    RecordedLocator locator;
    std::string value;  // Write: the text; Select: the option text; Navigate: the address
    int index = -1;     // Select: the option's index
    bool checked = false;
};

// GB18030 lines, without line breaks.
std::vector<std::string> linesForAction(const RecordedAction& action);

// Whether text reaches a command unchanged as one argument.
bool fitsOneArgument(const std::string& gbText);

// A page-language string expression for text that holds no comma, double
// quote, backslash or line break itself: quoted runs joined with
// String.fromCharCode(n) for the characters that cannot stand in a line.
std::string scriptStringExpression(const std::string& gbText);

}  // namespace fillscript
