#pragma once
// RuleText: the fixed-template style rule of one Component, its readers and
// the single edit path, updateComponent.
#include "design/canvas.h"

#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

namespace design {

// Fields of a rule; an empty optional means "not given".
struct RuleFields {
    std::optional<std::string> tag;
    std::optional<std::string> className;
    std::optional<int> left, top, width, height;
    std::optional<std::string> extra;
};

// Omitted geometry comes from the prototype box's geometry.
std::string buildRule(const RuleFields& fields = {}, const BoxGeometry& prototype = kPrototypeGeometry);
std::string makeDefaultClassName();
// A default class name that `used` does not hold: random ones first, then the
// first free one in order, with a fifth digit and more once all four-digit
// names are taken. Two rules with one class name put both elements at the
// second rule's place in a browser.
std::string makeUnusedClassName(const std::unordered_set<std::string>& used);
int randomInRange(int min, int max);
std::string keepLetters(std::string_view text);
std::string textBetween(std::string_view text, std::string_view leftMarker, std::string_view rightMarker);

std::string readRuleTag(std::string_view rule);
std::string readRuleClass(std::string_view rule);
std::string readRuleLeft(std::string_view rule);
std::string readRuleTop(std::string_view rule);
std::string readRuleWidth(std::string_view rule);
std::string readRuleHeight(std::string_view rule);
std::string readRuleExtra(std::string_view rule);

int ruleNumber(std::string_view text);

// In-out update: every text field left empty is filled with the value read
// from the current rule (or the current inner text) and handed back.
struct ComponentUpdate {
    std::optional<std::string> tag;
    std::optional<std::string> className;
    std::optional<int> left, top, width, height;
    std::optional<std::string> extra;
    std::optional<std::string> innerText;
};
// updateComponent and moveBox are members of design::Design.

std::string extractExtraDeclarations(std::string_view rule);
std::string trimSpaces(std::string_view text);
std::string collapseLineBreaks(std::string_view text);
// 1-based position of `what` in `text` from 1-based `start` (0 means 1), or -1.
// Plain byte search (not bound to character starts).
int findText(std::string_view text, std::string_view what, int start = 0, bool ignoreCase = false);

}  // namespace design
