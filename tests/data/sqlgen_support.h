// Structures shared by the statement-generation tests: a memory layer with the variable
// tables, and data files defined the way discovery defines them.
#pragma once

#include <string>

#include "data/schema.h"
#include "data/sqlgen.h"
#include "expr/structs.h"
#include "expr/support.h"
#include "runtime/sysvars.h"

namespace vx::test {

// Structure 1 "clientes": P A3, Q A5, R N6, NOMBRE A20, IMPORTE 2 (two decimals) 10 wide,
// and the placeholder OTHER. Keys: 1 = P,Q,R; 2 = P alone; 3 = R alone; 4 = NOMBRE.
// Structure 2 "codes": a A3, b A4 with key 1 = a,b. Structure 3 "pair": x A2, y A2 with key 1
// = x alone.
class SqlGenTest : public VarTest {
protected:
    void SetUp() override {
        VarTest::SetUp();
        define("clientes", {{"P", 3, 'A'},
                            {"Q", 5, 'A'},
                            {"R", 6, 'N'},
                            {"NOMBRE", 20, 'A'},
                            {"IMPORTE", 10, '2'},
                            {"OTHER", 4, 'A'}});
        add_key(1, {{0, 3}, {3, 5}, {8, 6}});
        add_key(1, {{0, 3}});
        add_key(1, {{8, 6}});
        add_key(1, {{14, 20}});
        define("codes", {{"a", 3, 'A'}, {"b", 4, 'A'}});
        add_key(2, {{0, 7}});
        define("pair", {{"x", 2, 'A'}, {"y", 2, 'A'}});
        add_key(3, {{0, 2}});
    }
    void TearDown() override {
        vx::data::cursors_reset();
        vx::data::schema_clear();
        VarTest::TearDown();
    }

    struct F {
        const char* name;
        vx::rt::u16 width;
        char type;
    };
    static void define(const char* name, std::initializer_list<F> fields) {
        ASSERT_EQ(vx::expr::struct_define(1, vx::rt::str_from_cstr(name), vx::rt::S("data")), 0);
        for (const F& f : fields)
            ASSERT_EQ(vx::expr::struct_add_field(vx::rt::str_from_cstr(f.name), f.width, f.type),
                      0);
    }
    static void add_key(vx::rt::u16 s, std::initializer_list<vx::expr::KeyPart> parts) {
        ASSERT_EQ(vx::expr::struct_add_key(s, parts.begin(), vx::rt::u16(parts.size())), 0);
    }
};

// A key value or record image from its fields, each padded to its width.
inline std::string padded(std::initializer_list<std::pair<std::string, int>> fields) {
    std::string out;
    for (const auto& [value, width] : fields) out += value + std::string(width - value.size(), ' ');
    return out;
}

inline vx::rt::Str view(const std::string& s) {
    return vx::rt::Str{s.data(), vx::rt::u16(s.size())};
}

}  // namespace vx::test
