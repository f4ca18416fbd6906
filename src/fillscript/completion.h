#pragma once
// Command-name completion: matching a typed word against a command name by
// prefix or by the pinyin initials of its Chinese characters, and the text a
// completion inserts.
#include <string>
#include <string_view>
#include <vector>

namespace fillscript {

// Lower-case pinyin initial of the GB2312 hanzi with bytes lead, trail (lead
// 0xB0..0xF7, trail 0xA1..0xFE); 0 for any other pair.
char pinyinInitial(unsigned char lead, unsigned char trail);

// Whether the typed `pattern` calls up `candidate`. A pattern byte "b".."z"
// stands for a two-byte hanzi of that pinyin initial; any other byte must be
// the same byte. While typing (whole false) a candidate as long as the
// pattern never matches and a pattern that runs out early matches; with whole
// set the pattern must account for the whole candidate.
bool matchAbbreviation(std::string_view pattern, std::string_view candidate, bool whole);

// Length of a leading "variable=" in a word typed at the start of a line
// (`订单号=tbcz`), so that completion works on the command after it; 0 when
// the word has no such start.
std::size_t assignmentPrefixLength(std::string_view word);

// A command the typed word calls up: its GB18030 name and argument count.
struct CompletionCandidate {
    std::string name;
    int count = 0;
};

// The commands `word` calls up (matchAbbreviation with `whole`), in catalogue
// order.
std::vector<CompletionCandidate> completionCandidates(std::string_view word, bool whole);

// name + "(" + (count - 1) times ", " + ")".
std::string completionText(std::string_view name, int paramCount);

}  // namespace fillscript
