// PDF files as an output device: report text on A4 pages in Courier (Windows-1252), each
// page headed by an image at its top left. Up to 8 documents may be open at once; a document
// is written to its file when its device is closed.
//
// Page: the image drawn at its own size (one pixel per point) at the page's top left; text
// from 80 points right and 80 points below the top edge, 10 points per line, 10-point
// Courier at the start of each page. A write beginning with 0x0F, 0x12, 0x0E or 0x14 sets
// 6, 10, 14 or 10 points for what follows, and so does such a character ending a line. Text
// without a line end waits as the pending line; a device whose counters went back (a new
// page) starts a new PDF page; so does a line that would fall below the page.
//
// Page image: entry 3 of list 9 (chosen per report by pdf_choose_image), else
// "pdf_header.png" from the data folders, the program's folder, or ../share/varnox beside
// it (where an installation keeps its default); without any, 164 naming "pdf_header.png".
// While a per-report image is in use, lines made only of "=" are left out.
#pragma once

#include "output/device.h"

namespace vx::out {

inline constexpr u16 PDF_SLOTS = 8;
inline constexpr u16 PDF_IMAGE_ENTRY = 3;  // of list 9
inline constexpr const char* PDF_HEADER_IMAGE = "pdf_header.png";

// The device backend: the record's handle is the document's slot. Opening gives 145 when
// all 8 slots are in use, 65535 when no document can be made, 164 without a page image,
// 131 (detail: the image) for an image that cannot be read. Closing writes the pending line,
// saves the file (131 naming it when it cannot be written), empties entry 3 of list 9 and,
// with the show flag, opens the file in viewer 3.
u16 pdf_open(Device& d);
u16 pdf_write(Device& d, Str text);
u16 pdf_close(Device& d);

// Chooses the page image of a report file: with B its name without folder and extension and
// D the database name, "pdf_D_B.png", else "pdf_B.png", else the first "pdf_*.png" whose name,
// with each "@" standing for any one character, matches "pdf_B.png" (letters in any case),
// all found through the data folders. Sets entry 3 of list 9 ("" when none): 0, or the
// store's error.
u16 pdf_choose_image(Str report_file);

// The default image: "pdf_header.png" in the data folders, then in the folders of the
// installation (a comma list; by default the program's folder and ../share/varnox beside
// it). "" when there is none.
Str pdf_header_path();
// Replaces the installation's folders ("" for none); null pointer: back to the default.
void pdf_install_folders_set(const char* folders);

}  // namespace vx::out
