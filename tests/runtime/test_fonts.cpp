// The font file: lines taken apart, the created size, and rewriting with a line first.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/fonts.h"
#include "support/fixtures.h"

using namespace vx::rt;

namespace {

class Fonts : public vx::test::MemTest {
protected:
    void SetUp() override {
        MemTest::SetUp();
        dir_.enter();
    }
    vx::test::ScratchDir dir_{"fonts"};
};

}  // namespace

TEST_F(Fonts, LinesAreTakenApart) {
    FontSpec f;
    ASSERT_EQ(font_parse(S("20;10;BOLD;Courier New"), &f), 0);
    EXPECT_EQ(f.height, 20);
    EXPECT_EQ(f.width, 10);
    EXPECT_EQ(f.weight, FONT_WEIGHT_BOLD);
    EXPECT_STREQ(f.face, "Courier New");
    ASSERT_EQ(font_parse(S(" 24 ; 12 ; italic ; Lucida Console "), &f), 0);
    EXPECT_EQ(f.weight, FONT_WEIGHT_NORMAL);
    EXPECT_STREQ(f.face, "Lucida Console");
    ASSERT_EQ(font_parse(S("16;8;bold;A face name much longer than thirty-one characters"), &f), 0);
    EXPECT_EQ(std::string(f.face).size(), FONT_FACE_MAX);
    EXPECT_EQ(font_parse(S("16;8;;"), &f), E_DATA);
    EXPECT_EQ(font_parse(S("0;8;;Mono"), &f), E_DATA);
}

TEST_F(Fonts, CreatedSize) {
    FontSpec f;
    f.height = 24;
    f.width = 12;
    FontSpec c = font_created(f);
    EXPECT_EQ(c.height, 21);
    EXPECT_EQ(c.width, 11);   // a sixteenth of 12 rounds to 1
    f.width = 40;             // 40/16 = 2.5 rounds to 3
    EXPECT_EQ(font_created(f).width, 37);
}

TEST_F(Fonts, ChosenLineMovesFirst) {
    std::ofstream("KVFONT.PPN", std::ios::binary) << "24;12;;Lucida Console\n20;10;BOLD;Courier New\r\n16;8;;Mono\n";
    EXPECT_EQ(font_file_choose(3), 0);
    EXPECT_EQ(vx::test::slurp("KVFONT.PPN"),
              "16;8;;Mono\r\n24;12;;Lucida Console\r\n20;10;BOLD;Courier New\r\n");
    EXPECT_EQ(font_file_choose(4), E_DATAOUTBOUND);
    EXPECT_EQ(vx::test::slurp("KVFONT.PPN"),
              "16;8;;Mono\r\n24;12;;Lucida Console\r\n20;10;BOLD;Courier New\r\n");
    std::remove("KVFONT.PPN");
    EXPECT_EQ(font_file_choose(1), E_FILENOTFOUND);
}
