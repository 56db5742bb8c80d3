// The viewer's menus: the temporary menu file with the built-in menus, and the choice of the
// menu a run starts from.
#include "app/menus.h"
#include "expr/structs.h"
#include "expr/vars.h"
#include "runtime/env.h"
#include "runtime/menu.h"
#include "runtime/paths.h"
#include "support/fixtures.h"

#include <filesystem>

using namespace vx::app;
using namespace vx::rt;
namespace ex = vx::expr;
using vx::test::slurp;
using vx::test::text;

namespace {

class ViewerMenus : public vx::test::MemTest {
protected:
    ViewerMenus() : dir_("menus") {}
    void SetUp() override {
        dir_.enter();
        MemTest::SetUp();
        ASSERT_EQ(ex::vars_create(), 0);
        ASSERT_EQ(env_set(ENV_DATA, S(".")), 0);
    }
    void TearDown() override {
        ex::vars_free();
        MemTest::TearDown();
    }
    std::string written(u16 flags, const char* body) {
        TmpScope scope;
        Str path = menu_file_write(flags, str_from_cstr(body));
        if (!path.ok()) return text(path);
        std::string content = slurp(text(path));
        std::filesystem::remove(text(path));
        return content;
    }
    vx::test::ScratchDir dir_;
};

}  // namespace

TEST_F(ViewerMenus, TheDefaultMenuComesFromItsMessage) {
    TmpScope scope;
    EXPECT_EQ(text(default_menu_text()), DEFAULT_MENU);
}

TEST_F(ViewerMenus, TheDefaultMenuIsFollowedByTheHelpMenu) {
    EXPECT_EQ(written(MENU_HELP, DEFAULT_MENU),
              std::string(DEFAULT_MENU) + "Ayuda\r\n\tAyuda,Help\r\n\tAcerca de,Help About\r\n");
}

TEST_F(ViewerMenus, BuiltinMenusFollowInTheirOrderWithTheirTaskType) {
    std::string all = written(MENU_HELP | MENU_REORG | MENU_REPORTS, "");
    EXPECT_EQ(all,
              "Informes\r\n\tCrear Nuevo,Report \r\n\tInformes,Report %APNAME%report.ppn\r\n"
              "Reorganizacion,Reorg\r\n"
              "Ayuda\r\n\tAyuda,Help\r\n\tAcerca de,Help About\r\n");
    EXPECT_EQ(written(0, "X\r\n"), "X\r\n");
}

TEST_F(ViewerMenus, TheFilesMenuListsEveryDataFile) {
    ASSERT_EQ(ex::struct_define(1, S("clientes"), S("")), 0);
    ASSERT_EQ(ex::struct_add_field(S("CODIGO"), 6, 'A'), 0);
    ASSERT_EQ(ex::struct_define(2, S("ventas"), S("")), 0);
    ASSERT_EQ(ex::struct_add_field(S("IMPORTE"), 10, 'N'), 0);
    EXPECT_EQ(written(MENU_FILES, ""),
              "Mantenimiento de Ficheros\r\n\tclientes,MantAuto 1,1\r\n\tventas,MantAuto 2,1\r\n");
}

TEST_F(ViewerMenus, WithoutAMenuFileTheDefaultMenuIsWrittenAndBuildsTwoSubmenus) {
    TmpScope scope;
    Str path;
    Str name = menu_choose(&path);
    ASSERT_TRUE(path.ok() && path.n) << "a temporary file is written";
    EXPECT_EQ(text(name), text(path_part(path, PART_DRIVE | PART_FOLDER | PART_NAME)) + ",1");
    std::string content = slurp(text(path));
    EXPECT_EQ(content.rfind("Informes Graficos\r\n", 0), 0u);
    EXPECT_NE(content.find("Ayuda\r\n\tAyuda,Help\r\n\tAcerca de,Help About\r\n"), std::string::npos);
    EXPECT_EQ(text(menu_name_of(S("dir/vx1234.PMT"))), "dir/vx1234,1");
    std::filesystem::remove(text(path));
}

TEST_F(ViewerMenus, TheOwnMenuFileComesFirstThenTheStartMenu) {
    TmpScope scope;
    Str path;
    { std::ofstream("VXMENU.PMT") << "Uno\r\n\tA,Help\r\n"; }
    EXPECT_EQ(text(menu_choose(&path)), "VXMENU");
    EXPECT_EQ(path.n, 0) << "nothing written";
    std::filesystem::remove("VXMENU.PMT");

    { std::ofstream("MENU.PMT") << "Dos\r\n\tB,Help\r\n"; }
    EXPECT_EQ(text(menu_choose(&path)), "MENU") << "the bare run-time has no prefix";
    EXPECT_EQ(path.n, 0);
}
