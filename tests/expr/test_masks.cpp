// Edit masks: the number editor with the language's separators, the ",." decimal marker,
// text masks, the choice made by mask_apply, the masks of field types, typed numbers and
// the cached language parameters. Also holds the language set-up the format tests share.
#include <string>

#include "expr/masks.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "support.h"

using namespace vx::rt;
using namespace vx::expr;
using vx::test::text;

namespace vx::test {

// Language texts as the message layer leaves them in environment entry 0: mask parameters,
// NUL, month names and long-date template, NUL, blank.
const std::string SPANISH_TEXTS =
    std::string(",.'0123456789,-D',' NS','  ,NO,SI'") + '\0' +
    "'Enero,Febrero,Marzo,Abril,Mayo,Junio,Julio,Agosto,Septiembre,Octubre,Noviembre,"
    "Diciembre','[D] de [M] de [Y]'" +
    '\0' + " ";
const std::string ENGLISH_TEXTS =
    std::string(".,'0123456789.-D',' NY','  ,NO,YES'") + '\0' +
    "'January,February,March,April,May,June,July,August,September,October,November,"
    "December','[M] [D], [Y]'" +
    '\0' + " ";

void use_language(const char* code) {
    const std::string& texts = std::string(code) == "ES" ? SPANISH_TEXTS : ENGLISH_TEXTS;
    ASSERT_EQ(env_set(ENV_LANGTEXTS, Str{texts.data(), u16(texts.size())}), 0);
    ASSERT_EQ(env_set(ENV_LANG, str_from_cstr(code)), 0);
}

}  // namespace vx::test

namespace {

// Each test has its own memory layer and variable tables (system variables at their defaults).
using FormatTest = vx::test::VarTest;
class MaskNumber : public FormatTest {};
class MaskText : public FormatTest {};
class MaskApply : public FormatTest {};
class MaskParams : public FormatTest {};
class MaskTyped : public FormatTest {};

Str view(const char* s) {
    return str_from_cstr(s);
}

std::string number(const char* mask, const char* value, bool neutral = false) {
    TmpScope scope;
    return text(mask_number(view(mask), view(value), neutral));
}

struct Edit {
    const char* mask;
    const char* value;
    const char* shown;
};

}  // namespace

TEST_F(MaskNumber, EditsWithTheDefaultSeparators) {
    const Edit cases[] = {
        {"###,###.##", "1234.5", "  1,234.50"},
        {"###.##", "0.5", "  0.50"},
        {"###.##", ".5", "  0.50"},
        {"###,###.##", "1234567.5", "1234567.50"},  // the comma becomes a digit position
        {"#,###,###", "1234567", "1,234,567"},
        {"#,###,###", "1234", "    1,234"},
        {"0,000", "5", "0,005"},
        {"#,##0.00", "0", "    0.00"},
        {"000.00", "5", "005.00"},
        {"###", "0", "  0"},
        {"###", "0.4", "  0"},
        {"###", "007", "  7"},
        {"###.##", "1.005", "  1.01"},  // half away from zero
        {"###.##", "1.004", "  1.00"},
        {"###.##", "2", "  2.00"},
        {"###.##", "999.996", "1000.0"},  // the carry gives up a decimal
        {"###.##", "12345", " 12345"},    // point and decimals become digits
        {"##.#", "12.34D", "12.3"},       // trailing characters ignored
        {"$###.##", "12.5", "$ 12.50"},
        {"###.## EUR", "12.5", " 12.50 EUR"},
        {"##-##", "1234", "12-34"},
        {"###.##", "", "      "},  // no digit at all: blank
        {"##0.00", "", "  0.00"},
        {"Nr.", "12", "Nr."},  // no digit positions
    };
    for (const Edit& c : cases)
        EXPECT_EQ(number(c.mask, c.value), c.shown) << c.mask << " " << c.value;
}

TEST_F(MaskNumber, PlacesTheMinusSignLeftOfTheFirstDigit) {
    const Edit cases[] = {
        {"###.##", "-0.5", " -0.50"},
        {"#,###", "-123", " -123"},
        {"###,###.##", "-1234.5", " -1,234.50"},
        {"###.##", "-1234.5", " -1235"},  // the sign needs a position too
        {"###.##", "-1.005", " -1.01"},
        {"#00", "-5", "-05"},
        {"000", "-5", "-05"},  // takes the leftmost fill zero
        {"#.##", "-0.5", "-.50"},
        {"###", "-0.4", "  0"},  // rounded to zero: no sign
        {"###.##", "-0.001", "  0.00"},
        {"###", "-", "   "},
    };
    for (const Edit& c : cases)
        EXPECT_EQ(number(c.mask, c.value), c.shown) << c.mask << " " << c.value;
}

TEST_F(MaskNumber, TooWideForTheMaskIsAnError) {
    EXPECT_EQ(number("###", "1234"), "<error 168>");
    EXPECT_EQ(number("###", "-123"), "<error 168>");
    EXPECT_EQ(number("#.#", "1234.5"), "<error 168>");
    EXPECT_EQ(number("#.#", "123.45"), "123");  // every decimal given up
    EXPECT_EQ(number("$###", "-999"), "<error 168>");
}

TEST_F(MaskNumber, TakesTheLanguageSeparatorsUnlessNeutral) {
    vx::test::use_language("ES");
    EXPECT_EQ(number("###,###.##", "1234.5"), "  1.234,50");
    EXPECT_EQ(number("###,###.##", "1234.5", true), "  1,234.50");
    EXPECT_EQ(number("###.##", "-0.5"), " -0,50");
    vx::test::use_language("EN");
    EXPECT_EQ(number("###,###.##", "1234.5"), "  1,234.50");
}

TEST_F(MaskNumber, DecimalMarkerGivesTheDecimals) {
    const Edit cases[] = {
        {"########0,.2", "0", "        0.00"},
        {"########0,.2", "1234.567", "     1234.57"},
        {"########0,.0", "0", "        0"},
        {"###,.0", "12.6", " 13"},
        {"###,.##", "1.5", "  1.50"},  // "#" places count the decimals
        {"#,###,.1 kg", "1234.56", "1,234.6 kg"},
        {",.2", "5", ",.2"},  // a marker at the start is not one
    };
    for (const Edit& c : cases)
        EXPECT_EQ(number(c.mask, c.value), c.shown) << c.mask << " " << c.value;
}

TEST_F(MaskNumber, DecimalMarkerLooksUpEntry10) {
    ASSERT_EQ(env_set(ENV_MASKS, S("0,1,3")), 0);
    EXPECT_EQ(number("###,.2", "1.5"), "  1.500");      // item 3
    EXPECT_EQ(number("###,.0", "1.5"), "  2");          // item 1
    EXPECT_EQ(number("###,.7", "1.5"), "  1.5000000");  // no item 8: the count itself
    ASSERT_EQ(env_set(ENV_MASKS, S("x,123,")), 0);
    EXPECT_EQ(number("###,.0", "1.5"), "  2");  // not a number: the count
    EXPECT_EQ(number("#,.1", "1.25"), "1.3");   // two-digit items only
}

TEST_F(MaskNumber, LeavesOnlyItsResultInTheArena) {
    TmpScope scope;
    const u16 mark = tmp_stats().current;
    Str r = mask_number(S("########0,.2"), S("-1234.5"), false);
    EXPECT_EQ(text(r), "    -1234.50");
    EXPECT_EQ(tmp_stats().current, mark + 1);
    const u16 used = tmp_stats().used;
    for (int i = 0; i < 1000; i++) {
        TmpScope inner;
        mask_apply(S("###,###.##"), S("1234.5"), 0);
    }
    EXPECT_EQ(tmp_stats().used, used);
}

TEST_F(MaskText, FillsPositionsFromTheValue) {
    struct Case {
        const char* mask;
        const char* value;
        bool positional;
        const char* shown;
    } cases[] = {
        {"\\\\LANGVARS.DAT", "VX", false, "VXLANGVARS.DAT"},
        {"\\\\-\\\\", "ABCD", false, "AB-CD"},
        {"\\  \\", "ABCDEF", false, "ABCD"},  // spaces between two "\" count
        {"\\ x \\", "ABC", false, "A x B"},   // not enclosed: literal
        {"(\\\\\\)", "A", false, "(A  )"},
        {"\\#0\\", "AB", false, "A#0B"},  // "#" and "0" stay literal
        {"?\?-?\?", "ABCDE", true, "AB-DE"},
        {"?\?-?\?", "ABCDE", false, "AB-CD"},
        {"\\\\", "", false, "  "},
    };
    for (const Case& c : cases) {
        TmpScope scope;
        EXPECT_EQ(text(mask_text(view(c.mask), view(c.value), c.positional)), c.shown) << c.mask;
    }
}

TEST_F(MaskApply, FirstMaskCharacterDecides) {
    struct Case {
        const char* mask;
        const char* value;
        u16 options;
        const char* shown;
    } cases[] = {
        {"###.##", "12.5", 0, " 12.50"},
        {"###.##", "ABC", 0, "###.##"},  // not a number, no text positions
        {"###.##", "ABC", MASK_NUMBER, "      "},
        {"#\\\\", "ABC", 0, "#AB"},  // not a number: the text mask
        {"\\\\.##", "12", 255, "12.##"},
        {"##,###", " 12345 ", 0, "12,345"},
        {"###", "12345", 255, "***"},  // does not fit: stars, never wrong digits
        {"$#,###.##", "123456789", 255, "$********"},
        {"?\\?", "ABC", MASK_POSITIONAL, "AAC"},
    };
    for (const Case& c : cases) {
        TmpScope scope;
        EXPECT_EQ(text(mask_apply(view(c.mask), view(c.value), c.options)), c.shown) << c.mask;
    }
}

TEST_F(MaskApply, NeutralOptionKeepsPointAndComma) {
    vx::test::use_language("ES");
    TmpScope scope;
    EXPECT_EQ(text(mask_apply(S("#,###.##"), S("1234.5"), 255)), "1.234,50");
    EXPECT_EQ(text(mask_apply(S("#,###.##"), S("1234.5"), MASK_NEUTRAL)), "1,234.50");
}

TEST_F(MaskApply, MasksOfFieldTypes) {
    struct Case {
        char type;
        u16 width;
        const char* mask;
    } cases[] = {
        {'2', 8, "#####.##"}, {'N', 3, "###"}, {'1', 3, "#.#"},
        {'2', 3, "#.#"},      {'2', 2, "##"},  {'A', 3, "\\\\\\"},
        {'D', 2, "\\\\"},     {'L', 1, "\\"},  {'9', 12, "##.#########"},
    };
    for (const Case& c : cases) {
        TmpScope scope;
        EXPECT_EQ(text(mask_for_type(c.type, c.width)), c.mask) << c.type << c.width;
    }
}

TEST_F(MaskTyped, NormalisesTypedNumbers) {
    struct Case {
        const char* lang;
        const char* typed;
        const char* normal;
    } cases[] = {
        {"EN", "  12.50 ", "12.50"},
        {"EN", "007", "7"},
        {"EN", "0", "0"},
        {"EN", "0.5", "0.5"},
        {"EN", "00.5", "0.5"},
        {"EN", "-05", "-5"},
        {"EN", "12-3", "12"},    // "-" only first
        {"EN", "1,234.5", "1"},  // "," is not accepted in English
        {"EN", "12a4", "12"},
        {"EN", "1.2.3", "1.2"},  // one decimal point
        {"EN", "12D", "12D"},
        {"EN", "123456789012345678901234", "12345678901234567890"},
        {"ES", "1234,5", "1234.5"},
        {"ES", "12.5", "12.5"},  // "." is always a decimal point
        {"ES", "0,5", "0.5"},
        {"ES", "1.234,5", "1.234"},
    };
    for (const Case& c : cases) {
        vx::test::use_language(c.lang);
        TmpScope scope;
        EXPECT_EQ(text(num_normalise(view(c.typed))), c.normal) << c.lang << " " << c.typed;
    }
}

TEST_F(MaskParams, MissingPartsFallBackOneByOne) {
    const std::string partial = std::string(",;'0123'") + '\0' + "'Jan,Feb'";
    ASSERT_EQ(env_set(ENV_LANGTEXTS, Str{partial.data(), u16(partial.size())}), 0);
    const LangParams& lp = lang_params();
    EXPECT_EQ(lp.decimal, ',');
    EXPECT_EQ(lp.thousands, ';');
    EXPECT_EQ(text(lp.accepted), "0123");
    EXPECT_EQ(text(lp.letters), " NY");  // missing items: the built-in ones
    EXPECT_EQ(text(lp.words[2]), "YES");
    EXPECT_EQ(text(lp.months[7]), "Agosto");  // not twelve months: the built-in names
    EXPECT_EQ(text(lp.long_date), "[D] de [M] de [Y]");
    ASSERT_EQ(env_set(ENV_LANGTEXTS, S("x")), 0);  // too short: all built-in
    EXPECT_EQ(lang_params().decimal, '.');
    EXPECT_EQ(text(lang_params().accepted), "0123456789.-D");
}

TEST_F(MaskParams, FollowChangesOfTheLanguage) {
    vx::test::use_language("ES");
    EXPECT_EQ(lang_params().decimal, ',');
    EXPECT_EQ(text(lang_params().words[2]), "SI");
    EXPECT_TRUE(lang_params().day_first);
    vx::test::use_language("EN");
    EXPECT_EQ(lang_params().decimal, '.');
    EXPECT_EQ(text(lang_params().months[0]), "January");
    EXPECT_FALSE(lang_params().day_first);
    ASSERT_EQ(env_set(ENV_LANG, S("IT")), 0);  // only the language code changes
    EXPECT_TRUE(lang_params().day_first);
}
