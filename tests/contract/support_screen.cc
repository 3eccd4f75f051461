#include "contract_support.h"

#include <memory>
#include <utility>

// How the screen is put back differs per build: under Windows (Wine) every
// window, the desktop included, is asked to repaint; on the simulated machine
// the screen, its pixels and its animation, is saved and written back.
#ifdef _WIN32

namespace contract {

struct ScreenRestoredAtExit::Saved {};

ScreenRestoredAtExit::ScreenRestoredAtExit() = default;

ScreenRestoredAtExit::~ScreenRestoredAtExit() {
  RedrawWindow(nullptr, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

}  // namespace contract

#else  // the simulated machine

#include <winsim.h>

namespace contract {

struct ScreenRestoredAtExit::Saved {
  winsim::Screen screen;
};

ScreenRestoredAtExit::ScreenRestoredAtExit()
    : saved_(std::make_unique<Saved>(Saved{winsim::GetScreen()})) {}

ScreenRestoredAtExit::~ScreenRestoredAtExit() { winsim::GetScreen() = std::move(saved_->screen); }

}  // namespace contract

#endif
