#pragma once
// Checks on what the user types or pastes, before it reaches the design.
// Each gives the message to show (GB18030), empty when the text passes as it
// is. Reading a page does not go through them: a file is read as it is.
#include "design/rule.h"

#include <string>
#include <string_view>

namespace design {

// Removes every NUL: a saved page would end at the first one.
std::string removeNuls(std::string& text);
// A tag whose element would end or restart the page around it (body, html,
// head, in any case) is refused.
std::string tagRefusal(std::string_view tag);
// A class name holding a character the page cannot carry in the rule's
// selector or the element's class attribute ({ } < > " CR LF) is refused.
std::string classNameRefusal(std::string_view className);
// Extra declarations holding "</style" (any case) are refused: the page's
// style block would end there, in a browser and when the page is read back.
std::string extraRefusal(std::string_view extra);

// The checks above on one panel edit: NULs leave its texts; a refused tag or
// class name is dropped from the update, so the current one stays. The
// messages are joined by line breaks. Refused extra declarations are
// dropped likewise.
std::string checkUpdate(ComponentUpdate& update);

}  // namespace design
