// Keyboard mnemonics of menu labels: "&" before the letter that Alt+letter (or the letter
// alone, in an open menu) chooses. Labels are Windows-1252 byte strings.
#pragma once

#include <string>
#include <string_view>

namespace vx::platform {

// The label with a mnemonic. A label that marks one of its own ("&Salir"; "&&" stands for an
// ampersand) keeps it. Otherwise the mnemonic is the first letter of the first word whose
// initial is not taken yet in the same menu, else the first letter or digit of the label not
// taken yet, else the label gets none. taken holds the mnemonics of the menu's labels so far
// (letters in lower case); the one chosen or found is added to it.
std::string mnemonic_label(std::string_view label, std::string& taken);
// The mnemonic a label marks (in lower case), or 0 when it marks none.
char mnemonic_of(std::string_view label);

}  // namespace vx::platform
