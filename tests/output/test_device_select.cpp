// The device selection: the answer of an input file or of nobody, the composition of the
// device text from the dialog's choice, the dialog itself on real widgets (its fields
// enabled per device, Enter and its buttons), the typed device of DEV, and the printer
// configuration forms over KVPRNP00.DAT.
#include <QApplication>
#include <QTest>
#include <QTimer>
#include <functional>

#include "device_support.h"
#include "input_lines.h"
#include "output/devsel.h"
#include "platform/qt_access.h"

using namespace vx::out;
using namespace vx::rt;
using vx::test::text;
namespace pf = vx::platform;
namespace scr = vx::scr;

namespace {

constexpr int WATCHDOG_MS = 5000;

class DeviceSelect : public vx::test::DeviceTest {
protected:
    std::string select_unattended(const std::string& lines, const char* current = "") {
        std::string got;
        vx::test::with_input_lines(lines, [&] { got = text(device_select(str_from_cstr(current))); });
        return got;
    }
    // Runs the dialog as a person would: drive runs once its loop runs.
    std::string select_attended(std::function<void(scr::WinId)> drive, const char* current = "") {
        attended();
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] {
            ADD_FAILURE() << "the device selection was still open";
            while (scr::window_count()) scr::window_destroy();
        });
        watchdog.start(WATCHDOG_MS);
        QTimer::singleShot(0, [drive] { drive(scr::window_top()); });
        return text(device_select(str_from_cstr(current)));
    }
    static void choose(scr::WinId w, int index) {
        pf::list_set_current(w, DEVSEL_DEVICES, index);
        pf::Event e;
        e.kind = pf::EvKind::Command;
        e.ctl = DEVSEL_DEVICES;
        e.code = pf::NOTIFY_SELCHANGE;
        pf::send_event(w, e);
    }
    static void click(scr::WinId w, int id) { QTest::mouseClick(pf::control_widget(w, id), Qt::LeftButton); }
    static bool enabled(scr::WinId w, int id) { return pf::control_widget(w, id)->isEnabled(); }
};

TEST_F(DeviceSelect, TheInputLineIsTheDeviceText) {
    command_line("vxrun /BATCH /OUTPUT='out.txt'");
    EXPECT_EQ(select_unattended("LPT1 /LP:66\r\n"), "LPT1 /LP:66");
    EXPECT_EQ(text(store_get(DEVICE_LIST, DEVICE_CHOSEN_ENTRY)), "LPT1 /LP:66");
    EXPECT_TRUE(sysint_bit(SV_SYSCOMPAT, SYSCOMPAT_SYSTEM_PRINTERS));
    EXPECT_EQ(select_unattended("  informe.pdf /VW:N \r\n"), "informe.pdf /VW:N");
    EXPECT_EQ(select_unattended("\\ESC\r\n"), "");
    EXPECT_EQ(select_unattended(""), "");  // nothing left to read
    EXPECT_EQ(text(store_get(DEVICE_LIST, DEVICE_CHOSEN_ENTRY)), "");
    EXPECT_EQ(read("out.txt"),
              "[Selecci\xF3n de Dispositivo] LPT1 /LP:66\r\n"
              "[Selecci\xF3n de Dispositivo] informe.pdf /VW:N\r\n"
              "[Selecci\xF3n de Dispositivo] \\ESC\r\n"
              "[Selecci\xF3n de Dispositivo]\r\n");
}

TEST_F(DeviceSelect, AnAttachedInputFileAnswersEvenWithSomeoneThere) {
    attended();
    EXPECT_EQ(select_unattended("COM1:9600,N,8,1\r\n"), "COM1:9600,N,8,1");
    EXPECT_EQ(boxes_, 0);
}

TEST_F(DeviceSelect, ComposedTexts) {
    DeviceChoice c;
    c.name = "COM2:";
    c.mask = MASK_SPEED | MASK_LINESET | MASK_LINES | MASK_WIDTH | MASK_STEP;
    c.speed = "4800";
    c.line_setting = "'O,7,2'";
    c.lines = "60";
    c.width = " ";
    c.step = "2";
    c.show = "S";  // not a field of a serial port
    EXPECT_EQ(device_compose(c), "COM2:4800,O,7,2 /LP:60 /ST:2");
    c = DeviceChoice{};
    c.name = "CON";
    c.mask = MASK_LINES | MASK_WIDTH | MASK_STEP;
    c.lines = "66";
    c.width = "132";
    EXPECT_EQ(device_compose(c), "CON /LP:66 /WD:132");
    c.name = "WINPRN";
    c.mask = 0;
    EXPECT_EQ(device_compose(c), "WINPRN");
}

TEST_F(DeviceSelect, ShownFilesAreNewFilesInTemp) {
    DeviceChoice c;
    c.name = "PDF";
    c.mask = MASK_LINES | MASK_WIDTH | MASK_STEP | MASK_SHOW;
    c.show = "s";
    c.lines = "70";
    std::string t = device_compose(c);
    const std::string tail = ".pdf /LP:70 /VW:s";
    ASSERT_GT(t.size(), tail.size());
    ASSERT_EQ(t.substr(t.size() - tail.size()), tail);
    std::string file = text(device_name(str_view(t.data(), u16(t.size()))));
    EXPECT_EQ(std::filesystem::path(file).parent_path(), dir_.path());
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(device_kind(str_view(file.data(), u16(file.size()))), DEV_PDF | DEV_ALWAYS);
}

TEST_F(DeviceSelect, UnshownFilesAreAskedWithTheSaveDialog) {
    command_line("vxrun /BATCH /OUTPUT='out.txt'");
    DeviceChoice c;
    c.name = "TXT";
    c.mask = MASK_LINES | MASK_WIDTH | MASK_STEP | MASK_SHOW;
    c.show = "N";
    std::string t;
    vx::test::with_input_lines("/tmp/listado.txt\r\n\\ESC\r\n", [&] {
        t = device_compose(c);
        EXPECT_EQ(device_compose(c), "");  // the save dialog cancelled
    });
    EXPECT_EQ(t, "/tmp/listado.txt /VW:N");
}

TEST_F(DeviceSelect, DevAsksForTheDeviceText) {
    command_line("vxrun /BATCH /OUTPUT='out.txt'");
    DeviceChoice c;
    c.name = "DEV";
    std::string t;
    vx::test::with_input_lines("'usb1 /LP:30'\r\n\\ESC\r\n", [&] {
        t = device_compose(c);
        EXPECT_EQ(device_compose(c), "");
    });
    EXPECT_EQ(t, "usb1 /LP:30");
}

TEST_F(DeviceSelect, TheDialogEnablesTheFieldsOfEachDevice) {
    std::string got = select_attended([](scr::WinId w) {
        ASSERT_NE(w, 0u);
        EXPECT_EQ(pf::window_class(w).find("DevSel") != std::string::npos, true);
        EXPECT_EQ(pf::list_count(w, DEVSEL_DEVICES), 13);
        EXPECT_EQ(pf::list_item(w, DEVSEL_DEVICES, pf::list_current(w, DEVSEL_DEVICES)), "LPT2");
        EXPECT_EQ(pf::control_text(w, DEVSEL_LINES), "66");
        EXPECT_EQ(pf::control_text(w, DEVSEL_SHOW), "S");
        EXPECT_TRUE(enabled(w, DEVSEL_LINES));
        EXPECT_FALSE(enabled(w, DEVSEL_SPEED));
        EXPECT_FALSE(enabled(w, DEVSEL_SHOW));
        EXPECT_TRUE(enabled(w, DEVSEL_CONFIG));
        choose(w, 9);  // COM1:
        EXPECT_TRUE(enabled(w, DEVSEL_SPEED));
        EXPECT_TRUE(enabled(w, DEVSEL_LINESET));
        EXPECT_FALSE(enabled(w, DEVSEL_CONFIG));
        choose(w, 7);  // PDF
        EXPECT_TRUE(enabled(w, DEVSEL_SHOW));
        EXPECT_FALSE(enabled(w, DEVSEL_SPEED));
        choose(w, 12);  // WINPRN
        EXPECT_FALSE(enabled(w, DEVSEL_LINES));
        EXPECT_FALSE(enabled(w, DEVSEL_SHOW));
        choose(w, 10);  // COM2:
        pf::list_set_current(w, DEVSEL_SPEED, 1);
        pf::list_set_current(w, DEVSEL_LINESET, 3);
        pf::control_set_text(w, DEVSEL_LINES, "");
        click(w, DEVSEL_OK);
    }, "LPT2 /LP:66");
    EXPECT_EQ(got, "COM2:4800,O,7,1");
    EXPECT_EQ(text(store_get(DEVICE_LIST, DEVICE_CHOSEN_ENTRY)), "COM2:4800,O,7,1");
}

TEST_F(DeviceSelect, TheDialogStartsFromTheCurrentDevice) {
    const std::pair<const char*, const char*> cases[] = {
        {"COM2:4800,O,7,1 /LP:60", "COM2:"}, {"/tmp/x.pdf /VW:N", "PDF"}, {"listado.txt", "TXT"},
        {"CON", "CON"}, {"", "CON"}, {"nada /LP:5", "TXT"}};
    for (auto [current, listed] : cases) {
        std::string want = listed;
        select_attended([want, current](scr::WinId w) {
            int at = pf::list_current(w, DEVSEL_DEVICES);
            EXPECT_EQ(at < 0 ? std::string() : pf::list_item(w, DEVSEL_DEVICES, at), want) << current;
            if (want == "COM2:") {
                EXPECT_EQ(pf::list_item(w, DEVSEL_SPEED, pf::list_current(w, DEVSEL_SPEED)), "4800");
                EXPECT_EQ(pf::list_item(w, DEVSEL_LINESET, pf::list_current(w, DEVSEL_LINESET)), "O,7,1");
                EXPECT_EQ(pf::control_text(w, DEVSEL_LINES), "60");
            }
            if (want == "PDF") {
                EXPECT_EQ(pf::control_text(w, DEVSEL_SHOW), "N");
            }
            click(w, DEVSEL_CANCEL);
        }, current);
    }
}

TEST_F(DeviceSelect, EnterAcceptsAndCancelGivesNothing) {
    std::string got = select_attended([](scr::WinId w) {
        choose(w, 0);
        pf::control_set_text(w, DEVSEL_WIDTH, "132");
        QTest::keyClick(pf::control_widget(w, DEVSEL_DEVICES), Qt::Key_Return);
    });
    EXPECT_EQ(got, "CON /WD:132");
    got = select_attended([](scr::WinId w) { click(w, DEVSEL_CANCEL); }, "LPT1");
    EXPECT_EQ(got, "");
    got = select_attended([](scr::WinId w) { QTest::keyClick(pf::control_widget(w, DEVSEL_DEVICES), Qt::Key_Escape); });
    EXPECT_EQ(got, "");
}

TEST_F(DeviceSelect, NothingChosenIsSaidAndTheDialogStays) {
    std::string got = select_attended([](scr::WinId w) {
        pf::list_set_current(w, DEVSEL_DEVICES, -1);
        click(w, DEVSEL_OK);  // the box is closed by the fixture
        EXPECT_TRUE(scr::window_on_stack(w));
        choose(w, 12);
        click(w, DEVSEL_OK);
    }, "nothing listed");
    EXPECT_EQ(boxes_, 1);
    EXPECT_EQ(got, "WINPRN");
}

// ---- Printer configuration ----

class PrinterConfig : public vx::test::DeviceTest {
protected:
    // The grid of 80 fields needs the arena the programs have.
    u16 arena_kb() const override { return 512; }
    void SetUp() override {
        DeviceTest::SetUp();
        command_line("vxrun /BATCH /OUTPUT='out.txt'");
    }
    u16 configure(const std::string& lines, u16 n) {
        u16 rc = 0;
        vx::test::with_input_lines(lines, [&] { rc = printer_configure(n); });
        return rc;
    }
    static std::string grid(int first) {
        std::string s;
        for (int i = 0; i < PRN_ENTRIES * PRN_ENTRY; i++) s += (i ? "," : "") + std::to_string((first + i) % 256);
        return s;
    }
};

TEST_F(PrinterConfig, BothFormsWriteTheRecordBack) {
    write_config("Cond,NoCond,Ancha,NoAncha,Sub,NoSub,Neg,NoNeg,Cur,NoCur,Ancho,Lineas",
                 {record({"\x0F"}, 80, 72)});
    std::string before = read(PRN_FILE);
    EXPECT_EQ(printer_record(2).width(), 80);  // read before: kept until configured
    ASSERT_EQ(configure("132,66\r\n" + grid(200) + "\r\n", 2), 0);
    std::string after = read(PRN_FILE);
    ASSERT_EQ(after.size(), std::size_t(PRN_HEADER + 2 * PRN_RECORD));
    EXPECT_EQ(after.substr(0, PRN_HEADER + PRN_RECORD), before);  // header and record 1 as they were
    std::string rec = after.substr(PRN_HEADER + PRN_RECORD);
    for (int i = 0; i < PRN_ENTRIES * PRN_ENTRY; i++) EXPECT_EQ(u8(rec[i]), (200 + i) % 256) << i;
    EXPECT_EQ(u8(rec[PRN_WIDTH_AT]), 132);
    EXPECT_EQ(u8(rec[PRN_LINES_AT]), 66);
    EXPECT_EQ(printer_record(2).width(), 132);  // the new configuration is in force
    std::string out = read("out.txt");
    EXPECT_NE(out.find("[   Lpt2 Config] 132,66"), std::string::npos);
}

TEST_F(PrinterConfig, CancellingWritesNothing) {
    write_config("a", {record({"\x1b"}, 80, 72)});
    std::string before = read(PRN_FILE);
    EXPECT_EQ(configure("\\ESC\r\n", 1), 0);
    EXPECT_EQ(configure("100,50\r\n\\ESC\r\n", 1), 0);
    EXPECT_EQ(read(PRN_FILE), before);
}

TEST_F(PrinterConfig, ValuesBeyondAByteAreCut) {
    write_config("a", {record({}, 80, 72)});
    ASSERT_EQ(configure("999,0\r\n\\ENTER\r\n", 1), 0);
    std::string rec = read(PRN_FILE).substr(PRN_HEADER);
    EXPECT_EQ(u8(rec[PRN_WIDTH_AT]), 255);
    EXPECT_EQ(u8(rec[PRN_LINES_AT]), 0);
}

TEST_F(PrinterConfig, WithoutTheFileNothingIsShown) {
    EXPECT_EQ(configure("132,66\r\n", 1), E_FILENOTFOUND);
    EXPECT_EQ(text(error_detail()), PRN_FILE);
    EXPECT_EQ(read("out.txt").find("Config"), std::string::npos);
    EXPECT_EQ(printer_configure(7), E_DATA);
}

}  // namespace
