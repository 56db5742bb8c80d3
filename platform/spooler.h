// The print spooler for raw output: a job of unformatted bytes sent to a named print queue
// (or the default one) of the system's print service. Printer names and titles are
// Windows-1252 byte strings; the service sees UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vx::os {

struct SpoolJob;  // opaque

enum class SpoolOpen : std::uint8_t {
    Ok,
    NoDefault,  // no name given and the service names no default queue (or is not there)
    NoPrinter,  // no queue of that name (or no service to ask)
    Failed,     // the queue exists but refused the job
};

// Starts a raw job titled title on the queue (the default queue when printer is empty).
// The job, or null with *why set.
SpoolJob* spool_open(std::string_view printer, std::string_view title, SpoolOpen* why);
bool spool_write(SpoolJob* job, const void* bytes, std::size_t n);
// Ends the document and frees the job: true when the service accepted the whole job. A job
// whose writing failed is cancelled instead (false), so no part of it prints.
bool spool_close(SpoolJob* job);
// Cancels the job, so that nothing of it prints, and frees it.
void spool_cancel(SpoolJob* job);
// True when the service knows a queue of that name.
bool spool_printer_exists(std::string_view printer);

}  // namespace vx::os
