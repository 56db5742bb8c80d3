// Template lines parsed: row, column, marker kinds and doubled markers, conditions,
// expressions split outside quotes and brackets, attributes from " /" and a member name (a
// division in an expression stays there), and the decimals rule of column masks.
#include <gtest/gtest.h>

#include "expr/vars.h"
#include "output/report_internal.h"
#include "runtime/sysvars.h"
#include "support/fixtures.h"

using namespace vx::out;
using namespace vx::rt;

namespace {

class ReportTemplate : public vx::test::MemTest {
protected:
    void SetUp() override {
        MemTest::SetUp();
        sysint_reset();
        ASSERT_EQ(vx::expr::vars_create(), 0);
    }
    void TearDown() override {
        vx::expr::vars_free();
        MemTest::TearDown();
    }
};

}  // namespace

TEST_F(ReportTemplate, LinesByPosition) {
    TemplateLine t = template_parse(
        "03012\\  \\|###.##\x19 zona{v}, FN$MIDS('a,b';1;2) , x / 2 /TOTALBASE%=3 /WD=40");
    EXPECT_EQ(t.row, 3);
    EXPECT_EQ(t.col, 12);
    EXPECT_EQ(t.flags, LF_DETAIL);
    ASSERT_EQ(t.masks.size(), 2u);
    EXPECT_EQ(t.masks[0], "\\  \\");
    EXPECT_EQ(t.masks[1], "###.##");
    ASSERT_EQ(t.exprs.size(), 3u);
    EXPECT_EQ(t.exprs[1], "FN$MIDS('a,b';1;2)");
    EXPECT_EQ(t.exprs[2], "x / 2") << "a division is no attribute";
    EXPECT_EQ(t.attrs, " /TOTALBASE%=3 /WD=40");
    EXPECT_EQ(line_member(t, RM_WD), "40");
    bool has = false;
    EXPECT_EQ(line_member(t, RM_BREAK, &has), "");
    EXPECT_FALSE(has);
}

TEST_F(ReportTemplate, MarkersConditionsAndPlainText) {
    TemplateLine d = template_parse(" 2  5Total\x18\x18'x' /BRKEND$=");
    EXPECT_EQ(d.row, 2);
    EXPECT_EQ(d.col, 5);
    EXPECT_EQ(d.flags, LF_RELATIVE | LF_DOUBLED);
    ASSERT_EQ(d.exprs.size(), 1u);
    EXPECT_EQ(d.exprs[0], "'x'");
    bool has = false;
    EXPECT_EQ(line_member(d, RM_BRKEND, &has), "");
    EXPECT_TRUE(has) << "present with an empty value";
    TemplateLine c = template_parse("00003A>1\tTexto \\ \\\x17 B$");
    EXPECT_EQ(c.row, 0);
    EXPECT_EQ(c.condition, "A>1");
    EXPECT_EQ(c.flags, LF_PLAIN);
    EXPECT_EQ(c.text, "Texto \\ \\");
    TemplateLine p = template_parse("01001Sin marcador | ni columnas");
    EXPECT_EQ(p.flags, 0);
    EXPECT_EQ(p.text, "Sin marcador | ni columnas");
    EXPECT_TRUE(p.masks.empty());
    TemplateLine s = template_parse("01");
    EXPECT_EQ(s.row, 1);
    EXPECT_EQ(s.col, 1);
    EXPECT_TRUE(s.text.empty());
}

TEST_F(ReportTemplate, DecimalsOfColumnMasks) {
    EXPECT_EQ(column_mask("####,.##"), "####,.2#");
    sysint_set(SV_PRECIS, 4);
    EXPECT_EQ(column_mask("####,.#"), "####,.4");
    sysint_set(SV_DX, 12);
    EXPECT_EQ(column_mask("####,.###"), "####,.12#") << "_DX before _PRECIS";
    EXPECT_EQ(column_mask("####,.2"), "####,.2") << "a count written stays";
    EXPECT_EQ(column_mask(",.##"), ",.##") << "not at the start";
    EXPECT_EQ(column_mask("###.##"), "###.##");
}
