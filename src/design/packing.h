#pragma once
// Components as bytes, exactly: each text is written as its length in
// decimal, ":", then its bytes. Used where a page would lose data (an inner
// text holding "</" or a line break): the recovery file and the clipboard.
#include "design/component.h"

#include <optional>
#include <string>
#include <string_view>

namespace design {

// Rules and inner texts; box handles are not kept.
std::string packComponents(const ComponentList& list);
// nullopt for bytes that packComponents did not write.
std::optional<ComponentList> unpackComponents(std::string_view bytes);

}  // namespace design
