// Raw print jobs through CUPS. Each job has a connection of its own to the scheduler named by
// the usual CUPS settings (CUPS_SERVER, client.conf), so several jobs may be open at once.
#include "platform/spooler.h"

#include <cups/cups.h>

#include <string>

#include "platform/cp1252.h"

namespace vx::os {

struct SpoolJob {
    http_t* http = nullptr;
    cups_dest_t* dest = nullptr;
    cups_dinfo_t* info = nullptr;
    int id = 0;
    bool failed = false;
};

namespace {

constexpr int CONNECT_TIMEOUT_MS = 30000;
// Characters that no queue name holds: such a name is not asked for.
constexpr std::string_view NOT_IN_QUEUE_NAMES = "/\\# \t";

// The scheduler as the environment names it now (the library would keep the first answer).
http_t* connect_scheduler() {
    cupsSetServer(nullptr);
    return httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                        CONNECT_TIMEOUT_MS, nullptr);
}

bool plausible_name(std::string_view name) {
    return !name.empty() && name.find_first_of(NOT_IN_QUEUE_NAMES) == std::string_view::npos;
}

void release(SpoolJob* job) {
    if (job->info) cupsFreeDestInfo(job->info);
    if (job->dest) cupsFreeDests(1, job->dest);
    if (job->http) httpClose(job->http);
    delete job;
}

bool job_started(SpoolJob* job, std::string_view title) {
    std::string t = platform::cp1252_to_utf8(title);
    job->info = cupsCopyDestInfo(job->http, job->dest);
    if (!job->info) return false;
    ipp_status_t st = cupsCreateDestJob(job->http, job->dest, job->info, &job->id, t.c_str(), 0, nullptr);
    if (st > IPP_STATUS_OK_EVENTS_COMPLETE || job->id <= 0) return false;
    return cupsStartDestDocument(job->http, job->dest, job->info, job->id, t.c_str(), CUPS_FORMAT_RAW,
                                 0, nullptr, 1) == HTTP_STATUS_CONTINUE;
}

}  // namespace

SpoolJob* spool_open(std::string_view printer, std::string_view title, SpoolOpen* why) {
    SpoolOpen dummy;
    if (!why) why = &dummy;
    *why = printer.empty() ? SpoolOpen::NoDefault : SpoolOpen::NoPrinter;
    if (!printer.empty() && !plausible_name(printer)) return nullptr;
    auto* job = new SpoolJob;
    job->http = connect_scheduler();
    std::string name = platform::cp1252_to_utf8(printer);
    if (job->http) job->dest = cupsGetNamedDest(job->http, printer.empty() ? nullptr : name.c_str(), nullptr);
    if (!job->dest) {
        release(job);
        return nullptr;
    }
    if (!job_started(job, title)) {
        spool_cancel(job);
        *why = SpoolOpen::Failed;
        return nullptr;
    }
    *why = SpoolOpen::Ok;
    return job;
}

bool spool_write(SpoolJob* job, const void* bytes, std::size_t n) {
    if (!job || job->failed) return false;
    if (n == 0) return true;
    if (cupsWriteRequestData(job->http, static_cast<const char*>(bytes), n) != HTTP_STATUS_CONTINUE)
        job->failed = true;
    return !job->failed;
}

bool spool_close(SpoolJob* job) {
    if (!job) return false;
    if (job->failed) {
        spool_cancel(job);
        return false;
    }
    bool ok = cupsFinishDestDocument(job->http, job->dest, job->info) <= IPP_STATUS_OK_EVENTS_COMPLETE;
    release(job);
    return ok;
}

// The job's connection is in the middle of sending its document: the cancel goes through a
// connection of its own.
void spool_cancel(SpoolJob* job) {
    if (!job) return;
    if (job->id > 0) {
        if (job->http) httpClose(job->http);
        job->http = connect_scheduler();
        if (job->http) cupsCancelDestJob(job->http, job->dest, job->id);
    }
    release(job);
}

bool spool_printer_exists(std::string_view printer) {
    if (!plausible_name(printer)) return false;
    http_t* http = connect_scheduler();
    if (!http) return false;
    std::string name = platform::cp1252_to_utf8(printer);
    cups_dest_t* dest = cupsGetNamedDest(http, name.c_str(), nullptr);
    bool found = dest != nullptr;
    if (dest) cupsFreeDests(1, dest);
    httpClose(http);
    return found;
}

}  // namespace vx::os
