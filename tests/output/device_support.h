// The fixture of the device tests: the chart fixture's window layer and variables, plus a
// scratch TEMP folder, a print service that is not there (CUPS_SERVER names no socket), the
// printer configuration forgotten and every device released around each test; and helpers
// that open, write and close a device in one go.
#pragma once

#include <cstdlib>
#include <string>

#include "chart_support.h"
#include "expr/vars.h"
#include "output/device_impl.h"
#include "output/pdf.h"
#include "runtime/store.h"

namespace vx::test {

class DeviceTest : public ChartTest {
protected:
    explicit DeviceTest(const char* tag = "dev") : ChartTest(tag) {}
    void SetUp() override {
        ChartTest::SetUp();
        ::setenv("TEMP", dir_.path().c_str(), 1);
        ::setenv("CUPS_SERVER", (dir_.path() / "no-cups.sock").c_str(), 1);
        ::unsetenv("PRINTER");
        ::unsetenv("LPDEST");
        out::pdf_install_folders_set(nullptr);
        out::report_window_set(nullptr);
        out::printer_config_forget();
    }
    void TearDown() override {
        out::devices_release();
        out::report_window_set(nullptr);
        out::pdf_install_folders_set(nullptr);
        ::unsetenv("TEMP");
        ChartTest::TearDown();
    }

    static void set_string(const char* name, const std::string& value) {
        ASSERT_EQ(expr::var_assign(rt::str_from_cstr(name),
                                   expr::val_str(rt::str_view(value.data(), rt::u16(value.size())))),
                  0);
    }
    static void set_int(const char* name, rt::i16 value) {
        ASSERT_EQ(expr::var_assign(rt::str_from_cstr(name), expr::val_num(value * expr::scale())), 0);
    }

    // Opens the device, writes the pieces in turn and closes it: the first error, else 0.
    static rt::u16 print(const std::string& device, std::initializer_list<std::string> pieces,
                         out::Device* out = nullptr) {
        out::Device d;
        rt::u16 rc = out::dev_open(d, rt::str_view(device.data(), rt::u16(device.size())), rt::S("Prueba"));
        for (const std::string& p : pieces)
            if (!rc) rc = out::dev_write(d, rt::str_view(p.data(), rt::u16(p.size())));
        rt::u16 closed = out::dev_close(d);
        if (out) *out = d;
        return rc ? rc : closed;
    }

    // A configuration file with the given records (96 bytes each) behind a header.
    void write_config(const std::string& labels, std::initializer_list<std::string> records) {
        std::string file = labels + "\r\n";
        file.resize(out::PRN_HEADER, '\0');
        for (const std::string& r : records) {
            std::string rec = r;
            rec.resize(out::PRN_RECORD, '\0');
            file += rec;
        }
        write(out::PRN_FILE, file);
        out::printer_config_forget();
    }
    // A printer record: control entries (each up to 8 bytes), width and lines per page.
    static std::string record(std::initializer_list<std::string> entries, unsigned char width,
                              unsigned char lines) {
        std::string r(out::PRN_RECORD, '\0');
        std::size_t e = 0;
        for (const std::string& bytes : entries) r.replace(e++ * out::PRN_ENTRY, bytes.size(), bytes);
        r[out::PRN_WIDTH_AT] = char(width);
        r[out::PRN_LINES_AT] = char(lines);
        return r;
    }
};

}  // namespace vx::test
