// Helpers of the expression-layer tests: a memory layer with the variable tables, and
// short ways to write values and read them back.
#pragma once

#include <string>

#include "expr/structs.h"
#include "expr/value.h"
#include "expr/vars.h"
#include "runtime/arena.h"
#include "support/fixtures.h"

namespace vx::test {

// Memory layer plus variable tables (system variables declared) for each test.
class VarTest : public MemTest {
protected:
    void SetUp() override {
        MemTest::SetUp();
        ASSERT_EQ(vx::expr::vars_create(), 0);
    }
    void TearDown() override {
        vx::expr::vars_free();
        MemTest::TearDown();
    }
};

inline vx::expr::Value num(const char* literal) {
    return vx::expr::val_num(vx::expr::num_parse(vx::rt::str_from_cstr(literal)));
}
inline vx::expr::Value str(const char* s) { return vx::expr::val_str(vx::rt::str_from_cstr(s)); }

// A variable's value as text: numbers with their decimals ("4.00"), strings as they are,
// "<error N>" when the read fails.
inline std::string read_text(const char* name) {
    vx::rt::TmpScope scope;
    vx::expr::Value v;
    vx::rt::u16 rc = vx::expr::var_read(vx::rt::str_from_cstr(name), v);
    if (rc) return "<error " + std::to_string(rc) + ">";
    return text(v.is_str ? v.str : vx::expr::num_text(v.num));
}

inline vx::rt::u16 assign(const char* name, const vx::expr::Value& v) {
    vx::rt::TmpScope scope;
    return vx::expr::var_assign(vx::rt::str_from_cstr(name), v);
}

// The parts of key k of structure s as "offset+length,...", or "<error N>".
inline std::string key_text(vx::rt::u16 s, vx::rt::u16 k) {
    vx::expr::KeyDesc d;
    if (vx::rt::u16 rc = vx::expr::struct_key(s, k, &d)) return "<error " + std::to_string(rc) + ">";
    std::string r;
    for (vx::rt::u16 i = 0; i < d.parts; i++)
        r += (i ? "," : "") + std::to_string(d.part[i].offset) + "+" + std::to_string(d.part[i].length);
    return r;
}

// Sets the language texts of environment entry 0 and the language code ("ES", "EN");
// defined in test_masks.cpp.
void use_language(const char* code);

}  // namespace vx::test
