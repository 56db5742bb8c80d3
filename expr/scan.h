// The scanner of the expression language: preparing a text for evaluation (bracket balance,
// the blank check and compaction, macro forms), finding operands and the operators that
// follow them, and deciding the type flags of an operand.
//
// Quoted runs ('...' or "...", no escapes) are skipped by every search. An operand runs to
// the next delimiter of DELIMITERS; a "(" right after a name opens an argument or subscript
// list, a "(" at the start of an operand a parenthesised group, and the scan goes on after
// the matching ")".
#pragma once

#include "expr/value.h"

namespace vx::expr {

inline constexpr char DELIMITERS[] = "*/!%\xF7+-(;,:)=><&@|";   // 0xF7 is the division sign
inline constexpr char PAIR_SECONDS[] = "=><&@|";                  // may follow an operator character
inline constexpr char OPERATOR_LIST[] = "*,/,!,%,\xF7,+,-,=,>,<,==,>=,<=,<>,&,|,@,&&,||,@@";

enum Operator : u8 {
    OP_NONE = 0,
    OP_MUL, OP_DIV, OP_ROUND, OP_PERCENT, OP_LESS_PERCENT, OP_ADD, OP_SUB, OP_ASSIGN,
    OP_GT, OP_LT, OP_EQ, OP_GE, OP_LE, OP_NE, OP_BITAND, OP_BITOR, OP_BITOR2,
    OP_AND, OP_OR, OP_XOR,
    OP_COUNT = OP_XOR
};

// Precedence by operator number: higher binds tighter.
inline constexpr u8 OP_PRECEDENCE[OP_COUNT + 1] = {0, 4, 4, 4, 4, 4, 3, 3, 0, 2, 2,
                                                   2, 2, 2, 2, 1, 5, 1, 1, 1, 1};

// Type flags of an operand.
enum OperandFlag : u8 {
    FL_STRING = 1,      // string-valued
    FL_VARIABLE = 2,
    FL_NUMBER_VAR = 4,  // 64-bit number variable
    FL_FIELD = 8,       // NAME{FILE}
    FL_LIST = 16,       // name with a bracketed list: array element or application function
    FL_FUNCTION = 32,   // built-in function with its argument list
    FL_GROUP = 64,      // parenthesised sub-expression
};

// What ended an operand that no operator follows.
enum OperandEnd : char {
    END_TEXT = 0,       // the end of the text
    END_UNKNOWN = 1,    // two operator characters that make no operator (such as "=>")
    // otherwise the separator itself: ';' ',' ':' or ')'
};

// One operand and what follows it. Positions are offsets in the prepared text.
struct Token {
    u16 start = 0;   // the operand's first byte
    u16 len = 0;     // the operand's name or literal, without its bracketed list
    u16 list = 0;    // length of the bracketed list right after the name, both brackets included
    u16 next = 0;    // where the next operand starts
    u16 fn = 0;      // number of the built-in function (FL_FUNCTION)
    u16 error = 0;   // found while scanning: 129 no matching ")", 147 text after a list
    u8 op = OP_NONE;
    u8 flags = 0;
    char end = END_TEXT;   // when op is OP_NONE

    bool empty() const { return len == 0 && list == 0; }
    u16 text_len() const { return u16(len + list); }
};

inline bool is_quote(char c) { return c == '\'' || c == '"'; }
inline bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_delimiter(char c);

// The position after the quoted run that starts at pos (the end of the text when the quote
// is not closed).
u16 skip_quoted(Str text, u16 pos);
// The position of the ")" that matches the "(" at open, NOT_FOUND when there is none.
u16 match_bracket(Str text, u16 open);

// Makes a text ready for evaluation: "(" and ")" must balance outside quotes (else 129); a
// blank outside quotes must have a delimiter as its nearest non-blank neighbour on one side
// (else 147, the rest of the text from that blank being the error context); blanks outside
// quotes are removed; the macro forms _ACCEPT$(X) and _ACCEPT#(X) are rewritten. The result
// is the text itself when nothing changes, else a new string in the arena.
u16 text_prepare(Str text, Str* out);

// The operator whose text starts at pos (one or two characters), with its length; OP_NONE
// for a pair that is no operator.
u8 operator_at(Str text, u16 pos, u16* length);

// The type flags of an operand name (FL_FIELD stands for both kinds of field reference);
// with a list, FL_FUNCTION and the function number for a built-in function, else FL_LIST.
u8 operand_flags(Str name, bool with_list, u16* fn);

// Scans the operand that starts at pos and the operator or separator after it.
Token scan_token(Str text, u16 pos);

}  // namespace vx::expr
