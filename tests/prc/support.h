// Helpers of the procedure tests: a memory layer with the table of loaded procedures
// emptied after each test, one record compiled from a text, and readable views of it.
#pragma once

#include <string>

#include "prc/compile.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "support/fixtures.h"

namespace vx::test {

class PrcTest : public MemTest {
protected:
    void TearDown() override {
        vx::prc::prc_release(&rec_);
        vx::prc::prc_free();
        MemTest::TearDown();
    }
    // Compiles src into rec_ (releasing the record of an earlier compile).
    vx::rt::u16 compile(const std::string& src) {
        vx::prc::prc_release(&rec_);
        vx::rt::error_clear();
        vx::rt::error_detail_clear();
        return vx::prc::prc_compile(vx::rt::S("test.prc"), src.data(), vx::rt::u32(src.size()),
                                    &rec_);
    }
    // Every statement as "code>target", joined by blanks.
    std::string codes() const {
        std::string r;
        for (vx::rt::u16 i = 0; i < rec_.count; i++)
            r += (i ? " " : "") + std::to_string(rec_.instr[i].code) + ">" +
                 std::to_string(rec_.instr[i].target);
        return r;
    }
    std::string stmt(vx::rt::u16 i) const { return text(vx::prc::prc_text(rec_, i)); }
    static std::string detail() { return text(vx::rt::error_detail()); }

    vx::prc::PrcRecord rec_;
};

}  // namespace vx::test
