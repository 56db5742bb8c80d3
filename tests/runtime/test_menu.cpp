// Menu files: lines taken apart, the menu built through a sink, identifiers and task lines,
// closing submenus when the level drops, PMT before PPN, and the PPN menu definition.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "runtime/env.h"
#include "runtime/menu.h"
#include "runtime/msg.h"
#include "runtime/startup.h"
#include "runtime/store.h"
#include "support/fixtures.h"

using namespace vx::rt;
using vx::test::text;

namespace {

// Records what the builder asks of the window system as one readable text.
struct Recorder {
    std::string log;
    MenuSink sink() {
        MenuSink s;
        s.ctx = this;
        s.open = [](void* c, Str t) { static_cast<Recorder*>(c)->log += "[" + text(t) + " "; };
        s.entry = [](void* c, u16 id, Str l) {
            static_cast<Recorder*>(c)->log += std::to_string(id) + ":" + text(l) + " ";
        };
        s.close = [](void* c) { static_cast<Recorder*>(c)->log += "] "; };
        return s;
    }
};

class Menus : public ::testing::Test {
protected:
    void SetUp() override {
        dir_.enter();
        runtime_services() = RuntimeServices{};
        msg_install();
        ASSERT_EQ(runtime_start(nullptr, S("prog /BATCH"), S("VXW01Q:Varnox"), S("d"), 6, nullptr), 0);
        env_set(ENV_DATA, S("."));
    }
    void TearDown() override {
        runtime_stop(nullptr, 0);
        runtime_services() = RuntimeServices{};
    }
    void write(const char* name, const std::string& body) { std::ofstream(name, std::ios::binary) << body; }
    std::string build(const char* name, u16* entries = nullptr, u16* rc = nullptr) {
        Recorder r;
        u16 n = 0;
        u16 code = menu_load(str_from_cstr(name), r.sink(), &n);
        if (entries) *entries = n;
        if (rc) *rc = code;
        return r.log;
    }
    vx::test::ScratchDir dir_{"menu"};
};

}  // namespace

TEST_F(Menus, LinesAreTakenApart) {
    struct Case { const char* line; u16 level; const char* label; const char* task; } cases[] = {
        {"Informes Graficos", 0, "Informes Graficos", ""},
        {"\tCrear Nuevo Informe,Report", 1, "Crear Nuevo Informe", "Report"},
        {"\tModificar Informe,Report %APNAME%report.ppn,Edit  ", 1, "Modificar Informe",
         "Report %APNAME%report.ppn,Edit"},
        {"\t\t'a,b',Help", 2, "'a,b'", "Help"},
        {"\tx,ExpEval '\t'", 1, "x", "ExpEval '\t'"},   // a tab inside quotes is text
    };
    for (const auto& c : cases) {
        MenuLine m = menu_line_parse(str_from_cstr(c.line));
        EXPECT_EQ(m.level, c.level) << c.line;
        EXPECT_EQ(text(m.label), c.label) << c.line;
        EXPECT_EQ(text(m.task), c.task) << c.line;
    }
}

TEST_F(Menus, DefaultMenuBuildsOneSubmenuWithThreeEntries) {
    write("VXMENU.PMT",
          "Informes Graficos\r\n\tCrear Nuevo Informe,Report\r\n"
          "\tModificar Informe,Report %APNAME%report.ppn,Edit\r\n"
          "\tInformes de Usuario,Report %APNAME%report.ppn\r\n");
    u16 entries = 0;
    EXPECT_EQ(build("VXMENU", &entries),
              "[Informes Graficos 1500:Crear Nuevo Informe 1501:Modificar Informe "
              "1502:Informes de Usuario ] ");
    EXPECT_EQ(entries, 3);
    EXPECT_EQ(text(menu_task(1501)), "Report %APNAME%report.ppn,Edit");
    EXPECT_EQ(text(store_get(LIST_MENU_TASKS, 2)), "Report %APNAME%report.ppn");
    EXPECT_EQ(text(menu_task(1499)), "");
    EXPECT_EQ(store_count(LIST_MENU_LINES), 0);
}

TEST_F(Menus, DroppingLevelsClosesSubmenus) {
    write("m.pmt", "A\n\tB\n\t\tC\n\t\t\tc1,Help\nD,Help x\n\tE\n\t\te1,Help y\n");
    EXPECT_EQ(build("m"), "[A [B [C 1500:c1 ] ] ] 1501:D [E 1502:e1 ] ");
    // Three tabs on the second line and none on the third: everything open is closed.
    write("n.pmt", "T\n\t\t\tdeep,Help\nnext,Help\n");
    EXPECT_EQ(build("n"), "[T 1500:deep ] 1501:next ");
}

TEST_F(Menus, OnlyTwoHundredEntriesReachATask) {
    std::string body = "Big\r\n";
    for (int i = 0; i < 257; i++) body += "\te" + std::to_string(i) + ",Help " + std::to_string(i) + "\r\n";
    write("big.pmt", body);
    u16 entries = 0;
    build("big", &entries);
    EXPECT_EQ(entries, 257);
    EXPECT_EQ(text(menu_task(1699)), "Help 199");
    EXPECT_EQ(text(menu_task(1700)), "");   // the 201st and later entries reach nothing
    EXPECT_EQ(text(menu_task(1756)), "");   // the 257th
}

TEST_F(Menus, PmtBeforePpnAndTheDefinitionForm) {
    write("only.ppn", "Informes:>Crear Nuevo,Report\r\n>Informes,'Report a.ppn':Ayuda:>Acerca de,Help About\r\n");
    EXPECT_EQ(build("only,extra"), "[Informes 1500:Crear Nuevo 1501:Informes ] [Ayuda 1502:Acerca de ] ");
    EXPECT_EQ(text(menu_task(1501)), "'Report a.ppn'");
    write("only.pmt", "X\n\ty,Help\n");
    EXPECT_EQ(build("only"), "[X 1500:y ] ");
}

TEST_F(Menus, MissingMenuIsReported) {
    u16 rc = 0;
    EXPECT_EQ(build("nomenu", nullptr, &rc), "");
    EXPECT_EQ(rc, E_FILENOTFOUND);
    // Lines already pending make a menu even without a file.
    store_push(LIST_MENU_LINES, S("P"));
    store_push(LIST_MENU_LINES, S("\tq,Help"));
    EXPECT_EQ(build("nomenu", nullptr, &rc), "[P 1500:q ] ");
    EXPECT_EQ(rc, 0);
}
