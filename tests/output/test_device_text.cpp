// The device text: the device name before the options, classification into kinds (with the
// system printers enabled and the command-line mode that sends printers to a file), the
// printer number, and the options with their defaults from the printer configuration.
#include "device_support.h"

using namespace vx::out;
using namespace vx::rt;
using vx::test::text;

namespace {

class DeviceText : public vx::test::DeviceTest {};

Str s(const char* c) { return str_from_cstr(c); }

TEST_F(DeviceText, NameEndsAtTheFirstOptionFollowedByItsSeparator) {
    const std::pair<const char*, const char*> cases[] = {
        {"LPT2 /LP:66 /WD:132", "LPT2"},
        {"  CON  ", "CON"},
        {"\tCOM1:9600,N,8,1 /LP=60", "COM1:9600,N,8,1"},
        {"informe.txt/WD:80", "informe.txt"},
        {"a.pdf /VW:S /LP:10", "a.pdf"},
        {"x /ST:2 /LP:5", "x"},
        {"WINPRN /LANDSCAPE /LP:30", "WINPRN"},
        // A Linux path may hold the letters of an option: only "/ST:" or "/ST=" counts.
        {"/srv/STOCK.pdf /VW:S", "/srv/STOCK.pdf"},
        {"/home/LPfiles/WDx.txt", "/home/LPfiles/WDx.txt"},
        {"", ""},
    };
    for (auto [in, want] : cases) EXPECT_EQ(text(device_name(s(in))), want) << in;
}

TEST_F(DeviceText, KindsOfNames) {
    constexpr u8 PORT = DEV_FILE | DEV_PORT | DEV_PRINTER | DEV_ALWAYS;
    constexpr u8 SERIAL = DEV_SERIAL | DEV_PRINTER | DEV_ALWAYS;
    constexpr u8 FILE = DEV_FILE | DEV_ALWAYS;
    const std::pair<const char*, u8> cases[] = {
        {"", DEV_SCREEN | DEV_ALWAYS},     {"CON", DEV_SCREEN | DEV_ALWAYS},
        {"con extra", DEV_SCREEN | DEV_ALWAYS},
        {"LPT1", PORT},  {"LPT6", PORT},   {"LPT", PORT},   {"lp0", PORT},   {"usb4", PORT},
        {"LPT1:", FILE}, {"lpt1", FILE}, {"LPT-1", PORT},   {"LPTX", FILE},
        {"COM1:", SERIAL}, {"COM2:4800,O,7,2", SERIAL}, {"COMX:", SERIAL},
        {"COM1", FILE},  {"COM12:", FILE},
        {"x.pdf", DEV_PDF | DEV_ALWAYS},   {"/t/X.PDF", DEV_PDF | DEV_ALWAYS},
        {"a.pdf.txt", FILE}, {"out.log", FILE}, {"WINPRN", FILE},
    };
    for (auto [name, want] : cases) EXPECT_EQ(int(device_kind(s(name))), int(want)) << name;
}

TEST_F(DeviceText, SystemPrintersMakeWinprnAndLeaveOtherNamesWithoutAQueue) {
    sysint_or(SV_SYSCOMPAT, SYSCOMPAT_SYSTEM_PRINTERS);
    EXPECT_EQ(device_kind(S("WINPRN")), KIND_WINPRN);
    // No print service answers: no name is a queue.
    EXPECT_EQ(device_kind(S("LPT1")), DEV_FILE | DEV_PORT | DEV_PRINTER | DEV_ALWAYS);
    EXPECT_EQ(device_kind(S("Laser")), DEV_FILE | DEV_ALWAYS);
    EXPECT_EQ(device_kind(S("COM1:")), DEV_SERIAL | DEV_PRINTER | DEV_ALWAYS);
    EXPECT_EQ(device_kind(S("winprn")), DEV_FILE | DEV_ALWAYS);
}

TEST_F(DeviceText, PrintToFileModeTurnsSerialPrintersIntoFiles) {
    command_line("vxrun /MODE=PRNTOFILE");
    EXPECT_EQ(device_kind(S("COM1:")), DEV_FILE | DEV_PRINTER | DEV_ALWAYS);
    EXPECT_EQ(device_kind(S("LPT1")), DEV_FILE | DEV_PORT | DEV_PRINTER | DEV_ALWAYS);
    command_line("vxrun /MODE=ADMIN");
    EXPECT_EQ(device_kind(S("COM1:")), DEV_SERIAL | DEV_PRINTER | DEV_ALWAYS);
}

TEST_F(DeviceText, PrinterNumbers) {
    const std::pair<const char*, u16> cases[] = {
        {"LPT1", 1}, {"LPT6", 6}, {"LPT7", 0}, {"LPT0", 0}, {"lpt1", 0}, {"LPT12", 0}, {"lp1", 0}, {"CON", 0}};
    for (auto [name, want] : cases) EXPECT_EQ(device_printer_number(s(name)), want) << name;
}

TEST_F(DeviceText, OptionsAndTheirBuiltInDefaults) {
    Device d;
    ASSERT_EQ(dev_open(d, S("LPT2 /LP:66 /WD:132 /ST:2 /VW:S"), S("t")), 0);
    EXPECT_EQ(d.printer, 2);
    EXPECT_EQ(d.lines, 66);
    EXPECT_EQ(d.width, 132);
    EXPECT_EQ(d.step, 2);
    EXPECT_EQ(d.show, 1);
    EXPECT_EQ(d.name, "LPT2");
    dev_close(d);

    ASSERT_EQ(dev_open(d, S("LPT2"), S("t")), 0);  // no configuration file
    EXPECT_EQ(d.lines, 72);
    EXPECT_EQ(d.width, 80);
    EXPECT_EQ(d.step, 1);
    EXPECT_EQ(d.show, 0);
    dev_close(d);

    ASSERT_EQ(dev_open(d, S("a.txt /VW:no /LP=0 /WD=0"), S("t")), 0);
    EXPECT_EQ(d.show, 0);
    EXPECT_EQ(d.lines, 0);
    EXPECT_EQ(d.width, 0);
    dev_close(d);
}

TEST_F(DeviceText, DefaultsComeFromThePrintersRecordWhileItLasts) {
    write_config("a,b,c,d,e,f,g,h,i,j,Ancho,Lineas",
                 {record({}, 100, 60), record({}, 132, 66)});
    const std::tuple<const char*, u16, u16> cases[] = {
        {"LPT1", 60, 100}, {"LPT2", 66, 132}, {"LPT3", 72, 80}, {"CON", 72, 80}, {"lp1", 72, 80},
        {"LPT2 /LP:10", 10, 132}};
    for (auto [name, lines, width] : cases) {
        Device d;
        ASSERT_EQ(dev_open(d, s(name), S("t")), 0) << name;
        EXPECT_EQ(d.lines, lines) << name;
        EXPECT_EQ(d.width, width) << name;
        EXPECT_EQ(sysint_get(SV_DEVHIG), lines);
        EXPECT_EQ(sysint_get(SV_DEVWID), width);
        dev_close(d);
    }
}

TEST_F(DeviceText, AShortLastRecordCountsAsMissing) {
    std::string file = "x\r\n";
    file.resize(PRN_HEADER, '\0');
    file += record({}, 100, 60);
    file += std::string(40, '\x07');  // half of record 2
    write(PRN_FILE, file);
    printer_config_forget();
    EXPECT_EQ(printer_record(1).width(), 100);
    EXPECT_EQ(printer_record(2).width(), 80);
    EXPECT_EQ(printer_record(7).lines(), 72);
}

TEST_F(DeviceText, TheConfigurationIsReadOnceAndKeptInTheStore) {
    write_config("x", {record({"\x1b"}, 90, 50)});
    EXPECT_EQ(printer_record(1).width(), 90);
    EXPECT_EQ(store_get(DEVICE_LIST, PRN_CONFIG_ENTRY).n, 2 * PRN_RECORD);
    write(PRN_FILE, "changed");
    EXPECT_EQ(printer_record(1).width(), 90);  // not read again
    printer_config_forget();
    EXPECT_EQ(printer_record(1).width(), 80);
}

}  // namespace
