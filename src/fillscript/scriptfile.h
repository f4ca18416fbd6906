#pragma once
// Script files for the command-line runner.
#include <string>
#include <string_view>
#include <vector>

namespace fillscript {

// The file's bytes as GB18030 text: UTF-8 (an optional byte-order mark is
// dropped) when the bytes are valid UTF-8, otherwise taken as GB18030 (its
// byte-order mark 84 31 95 33 dropped too).
std::string decodeScriptFile(std::string_view bytes);

// The script lines as the editor would hold them (CR LF line ends). The line
// break that ends the file's last line terminates that line and does not add
// an empty line after it.
std::vector<std::string> scriptFileLines(std::string_view gbText);

}  // namespace fillscript
