// Listing-report templates: the input cut at "====" lines into the template fz.tpl, the
// file fz.inc that it may include and the file fz.dyn that a dynamic line may read, all in
// the scratch folder. The template is run without a data file (the detail block repeats
// until ATEND$ holds, once without one) onto a text file of the folder with pages of 20
// lines, then its lines are parsed one by one and their column masks prepared.
#include <string>
#include <vector>

#include "output/report.h"
#include "runtime/arena.h"
#include "support.h"

using namespace vx;

namespace {

constexpr std::size_t FILES = 3;
constexpr const char* FILE_NAMES[FILES] = {"fz.tpl", "fz.inc", "fz.dyn"};
constexpr const char* DEVICE_TEXT = "fz.txt /LP:20 /WD:80";
constexpr std::size_t PARSED_LINES_MAX = 64;

// Each line of the template parsed on its own, as the report window's editor would.
void parse_lines(std::string_view text) {
    std::string_view rest = text;
    for (std::size_t n = 0; n < PARSED_LINES_MAX && !rest.empty(); n++) {
        auto [line, after] = fuzz::first_line(rest);
        out::TemplateLine parsed = out::template_parse(std::string(line));
        for (const std::string& mask : parsed.masks) out::column_mask(mask);
        rest = after;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::fresh_folder();
    std::vector<std::string_view> files = fuzz::parts(fuzz::input_text(data, size), FILES);
    for (std::size_t i = 0; i < FILES; i++) fuzz::put_file(FILE_NAMES[i], files[i]);
    fuzz::Session session;
    if (!session.started()) return 0;
    out::ReportRequest request;
    request.name = FILE_NAMES[0];
    request.device = DEVICE_TEXT;
    request.chooser = false;
    out::report_run(request);
    parse_lines(files[0]);
    return 0;
}
