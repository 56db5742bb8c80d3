// The device layer's place in the run-time's life cycle: what is still open is released at
// shutdown, before the window layer goes.
#include "output/device_impl.h"
#include "runtime/startup.h"

namespace vx::out {

namespace {

void (*screens_free_next)() = nullptr;

void release_then_screens() {
    devices_release();
    if (screens_free_next) screens_free_next();
}

}  // namespace

void devices_release() {
    serial_release_all();
    pdf_release_all();
    winprn_release_all();
    backends_release_all();
}

void devices_install() {
    rt::RuntimeServices& s = rt::runtime_services();
    if (s.screens_free == release_then_screens) return;
    screens_free_next = s.screens_free;
    s.screens_free = release_then_screens;
}

}  // namespace vx::out
