// Choosing the mnemonic of a menu label among the letters its menu has not taken.
#include "platform/mnemonic.h"

namespace vx::platform {

namespace {

constexpr char MARK = '&';

bool is_alnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool word_start(std::string_view label, std::size_t i) {
    return i == 0 || !is_alnum(label[i - 1]);
}

// Position of the label's own mnemonic (the letter or digit after a single "&"), or npos.
std::size_t own_mnemonic(std::string_view label) {
    for (std::size_t i = 0; i + 1 < label.size(); i++) {
        if (label[i] != MARK) continue;
        if (label[i + 1] == MARK)
            i++;  // "&&": an ampersand
        else if (is_alnum(label[i + 1]))
            return i + 1;
    }
    return std::string_view::npos;
}

// The first free letter or digit: at a word's start when initials_only.
std::size_t free_letter(std::string_view label, const std::string& taken, bool initials_only) {
    for (std::size_t i = 0; i < label.size(); i++) {
        if (!is_alnum(label[i]) || (initials_only && !word_start(label, i))) continue;
        if (taken.find(lower(label[i])) == std::string::npos) return i;
    }
    return std::string_view::npos;
}

// A lone "&" doubled, so that it shows as an ampersand ("&&" is one already).
std::string escaped(std::string_view label) {
    std::string out;
    for (std::size_t i = 0; i < label.size(); i++) {
        out += label[i];
        if (label[i] != MARK) continue;
        out += MARK;
        if (i + 1 < label.size() && label[i + 1] == MARK) i++;
    }
    return out;
}

}  // namespace

std::string mnemonic_label(std::string_view label, std::string& taken) {
    std::size_t own = own_mnemonic(label);
    if (own != std::string_view::npos) {
        taken += lower(label[own]);
        return escaped(label.substr(0, own - 1)) + MARK + escaped(label.substr(own));
    }
    std::size_t at = free_letter(label, taken, true);
    if (at == std::string_view::npos) at = free_letter(label, taken, false);
    if (at == std::string_view::npos) return escaped(label);
    taken += lower(label[at]);
    return escaped(label.substr(0, at)) + MARK + escaped(label.substr(at));
}

char mnemonic_of(std::string_view label) {
    std::size_t own = own_mnemonic(label);
    return own == std::string_view::npos ? 0 : lower(label[own]);
}

}  // namespace vx::platform
