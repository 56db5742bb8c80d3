// Rows whose values the run-time's bytes cannot hold (CJK letters and emoji show as '?'):
// navigation, saves, deletes, cursors over shared keys and scan chunks must still reach the
// row that was loaded, never another row that shows the same bytes.
#include "datafile_support.h"
#include "expr/fieldref.h"

using namespace vx::data;
using namespace vx::rt;
using vx::test::text;

namespace {

// 漢字 and 字漢 both show as two '?', like the row whose key really is "??"; the emoji
// shows as one '?'.
#define KANJI "\xE6\xBC\xA2\xE5\xAD\x97"
#define JIKAN "\xE5\xAD\x97\xE6\xBC\xA2"
#define SMILE "\xF0\x9F\x98\x80"

constexpr const char* TABLES =
    "CREATE TABLE ck (k varchar(8) PRIMARY KEY, note varchar(10));"
    "INSERT INTO ck VALUES ('" KANJI
    "','cjk'),('?"
    "?','plain'),('zz','z'),('" SMILE
    "','emoji'),"
    "('aa','a'),('" JIKAN
    "','cjk2');"
    "CREATE TABLE dup (k varchar(4) NOT NULL, seq integer NOT NULL, note varchar(8));"
    "CREATE INDEX dup_k ON dup (k);"
    "INSERT INTO dup VALUES ('" KANJI "',1,'a'),('" KANJI "',2,'b'),('" JIKAN
    "',3,'c'),('?"
    "?',4,'d');"
    "CREATE TABLE wide (k varchar(4) NOT NULL, id integer NOT NULL);"
    "CREATE INDEX wide_k ON wide (k);"
    "INSERT INTO wide SELECT chr(19968 + i) || chr(19968 + i), i FROM generate_series(1, 1100) i;";

constexpr int WALK_MAX = 50;

class DataExact : public vx::test::DataFileTest {
protected:
    void SetUp() override {
        DataFileTest::SetUp();
        setup_tables(TABLES);
        ck = file("ck");
        dup = file("dup");
        ASSERT_EQ(datafile_open(ck, OPEN_PLAIN), 0);
        ASSERT_EQ(datafile_open(dup, OPEN_PLAIN), 0);
    }
    // The values of one field met moving from first by step until the end.
    std::string walk(u16 f, u8 first, u8 step, const char* name) {
        std::string out;
        u16 st = datafile_move(f, first);
        for (int i = 0; st == STATUS_EXACT && i < WALK_MAX; i++) {
            out += (out.empty() ? "" : ",") + field(f, name);
            st = datafile_move(f, step);
        }
        return out;
    }
    // Moves forward from the first record to the one whose field holds value.
    void go_to(u16 f, const char* name, const char* wanted) {
        u16 st = datafile_move(f, READ_FIRST);
        for (int i = 0; st == STATUS_EXACT && i < WALK_MAX && field(f, name) != wanted; i++)
            st = datafile_move(f, READ_NEXT);
        ASSERT_EQ(field(f, name), wanted);
    }
    static std::string notes(const char* table, const char* order) {
        return value(std::string("SELECT string_agg(note, ',' ORDER BY ") + order + ") FROM " +
                     table);
    }
    u16 ck = 0, dup = 0;
};

}  // namespace

TEST_F(DataExact, NavigationMeetsEveryRowInTheServersOrder) {
    std::string forward = notes("ck", "k");
    EXPECT_EQ(walk(ck, READ_FIRST, READ_NEXT, "note"), forward);
    EXPECT_EQ(walk(ck, READ_LAST, READ_PREVIOUS, "note"), notes("ck", "k DESC"));
    // Reload and find on the key shown come back to the same row.
    go_to(ck, "note", "cjk2");
    EXPECT_EQ(field(ck, "k"), "??");
    EXPECT_EQ(datafile_move(ck, MOVE_RELOAD), STATUS_EXACT);
    EXPECT_EQ(field(ck, "note"), "cjk2");
    EXPECT_EQ(datafile_move(ck, VERB_FND & 0xFF), STATUS_EXACT);
    EXPECT_EQ(field(ck, "note"), "cjk2");
    // A key typed by someone means those very bytes.
    EXPECT_EQ(datafile_find(ck, 1, S("??"), 0), STATUS_EXACT);
    EXPECT_EQ(field(ck, "note"), "plain");
}

TEST_F(DataExact, SaveAndDeleteChangeOnlyTheRowLoaded) {
    go_to(ck, "note", "cjk");
    ASSERT_EQ(set(ck, "note", "changed"), 0);
    EXPECT_EQ(datafile_write(ck, VERB_SVE & 0xFF00, str_empty(), true), 0);
    EXPECT_EQ(value("SELECT note FROM ck WHERE k = '" KANJI "'"), "changed");
    EXPECT_EQ(value("SELECT note FROM ck WHERE k = '?" "?'"), "plain");
    EXPECT_EQ(value("SELECT note FROM ck WHERE k = '" JIKAN "'"), "cjk2");

    EXPECT_EQ(eval("FILELOCATE('DEL';'ck')"), "0.00");
    EXPECT_EQ(value("SELECT string_agg(note, ',' ORDER BY note) FROM ck"), "a,cjk2,emoji,plain,z");
    go_to(ck, "note", "emoji");
    EXPECT_EQ(field(ck, "k"), "?");
    EXPECT_EQ(eval("FILELOCATE('DEL';'ck')"), "0.00");
    EXPECT_EQ(value("SELECT string_agg(note, ',' ORDER BY note) FROM ck"), "a,cjk2,plain,z");

    // An insert of a copy of a loaded row takes the server's text, not the '?' shown.
    go_to(ck, "note", "cjk2");
    ASSERT_EQ(db("DELETE FROM ck WHERE k = '" JIKAN "'"), "");
    EXPECT_EQ(datafile_write(ck, VERB_INS & 0xFF00, str_empty(), false), 0);
    EXPECT_EQ(value("SELECT note FROM ck WHERE k = '" JIKAN "'"), "cjk2");
    EXPECT_EQ(value("SELECT count(*) FROM ck"), "4");
}

TEST_F(DataExact, SharedKeysStepAndWriteThroughTheRightRows) {
    EXPECT_EQ(walk(dup, READ_FIRST, READ_NEXT, "note"), notes("dup", "k, seq"));
    go_to(dup, "seq", "2");
    EXPECT_GE(datafile_ctrl(dup, CW_MULTI_SLOT), 1);  // the two rows of 漢字, not 字漢 or ??
    u16 slot = u16(datafile_ctrl(dup, CW_MULTI_SLOT));
    EXPECT_EQ(sql_slot_state(slot).rows, 2u);
    ASSERT_EQ(set(dup, "note", "x"), 0);
    EXPECT_EQ(datafile_write(dup, VERB_SVE & 0xFF00, str_empty(), true), 0);  // through a cursor
    EXPECT_EQ(notes("dup", "seq"), "a,x,c,d");
    EXPECT_EQ(eval("FILELOCATE('DEL';'dup')"), "0.00");
    EXPECT_EQ(notes("dup", "seq"), "a,c,d");
}

TEST_F(DataExact, ScanChunksTellApartKeysThatShowTheSameBytes) {
    u16 wide = file("wide");
    ASSERT_EQ(datafile_open(wide, OPEN_PLAIN), 0);
    struct Sum {
        i64 ids = 0;
        int records = 0;
    } sum;
    ScanRequest r;
    r.file = wide;
    r.context = &sum;
    r.action = [](void* context, u16 f) -> u16 {
        auto& s = *static_cast<Sum*>(context);
        TmpScope scope;
        s.ids += text_to_int64(str_trim(datafile_field(f, 2), TRIM_BOTH));
        s.records++;
        return 0;
    };
    ScanCounts counts;
    EXPECT_EQ(datafile_scan(r, &counts), STATUS_NONE) << text(error_detail());
    EXPECT_EQ(sum.records, 1100);
    EXPECT_EQ(sum.ids, 1100 * 1101 / 2);
    EXPECT_EQ(counts.statements, 3u);
}

TEST_F(DataExact, KeysTooWideForTheirFieldAreAddressedByTheServersText) {
    // The column grew behind the structure's back: its longest keys show as '*'.
    ASSERT_EQ(db("ALTER TABLE ck ALTER k TYPE varchar(20);"
                 "INSERT INTO ck VALUES ('mmmmmmmmmmmm','long1'),('mmmmmmmmmmmmmm','long2')"),
              "");
    EXPECT_EQ(walk(ck, READ_FIRST, READ_NEXT, "note"), notes("ck", "k"));
    go_to(ck, "note", "long1");
    EXPECT_EQ(field(ck, "k"), "********");
    ASSERT_EQ(set(ck, "note", "saved"), 0);
    EXPECT_EQ(datafile_write(ck, VERB_SVE & 0xFF00, str_empty(), true), 0);
    EXPECT_EQ(eval("FILELOCATE('NXT';'ck')"), "0.00");
    EXPECT_EQ(field(ck, "note"), "long2");
    EXPECT_EQ(eval("FILELOCATE('DEL';'ck')"), "0.00");
    EXPECT_EQ(value("SELECT string_agg(note, ',' ORDER BY k) FROM ck WHERE k LIKE 'm%'"), "saved");
}

TEST_F(DataExact, ARecordPutBackBehindTheFilesBackIsStillAddressedExactly) {
    // As a chart gathering does: keep the images, read the file for work of its own, put the
    // images back.
    go_to(ck, "note", "plain");
    std::string plain_images = text(store_get(vx::expr::RECORD_LIST, u16(ck - 1)));
    go_to(ck, "note", "cjk");
    std::string kanji_images = text(store_get(vx::expr::RECORD_LIST, u16(ck - 1)));
    ScanRequest r;
    r.file = ck;
    EXPECT_EQ(datafile_scan(r, nullptr), STATUS_NONE);
    EXPECT_EQ(datafile_find(ck, 1, S("zz"), 0), STATUS_EXACT);
    ASSERT_EQ(store_set(vx::expr::RECORD_LIST, u16(ck - 1), view(kanji_images)), 0);
    EXPECT_EQ(eval("FILELOCATE('DEL';'ck')"), "0.00");
    EXPECT_EQ(value("SELECT string_agg(note, ',' ORDER BY note) FROM ck"), "a,cjk2,emoji,plain,z");
    // The record put back is the one whose key really is "??": that one, and only it.
    ASSERT_EQ(store_set(vx::expr::RECORD_LIST, u16(ck - 1), view(plain_images)), 0);
    EXPECT_EQ(eval("FILELOCATE('DEL';'ck')"), "0.00");
    EXPECT_EQ(value("SELECT string_agg(note, ',' ORDER BY note) FROM ck"), "a,cjk2,emoji,z");
}
