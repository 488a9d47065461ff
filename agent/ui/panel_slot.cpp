#include "ui/panel_slot.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace qv {

PanelSlot::PanelSlot() {
    timeout_.setSingleShot(true);
    connect(&timeout_, &QTimer::timeout, this, &PanelSlot::close);
}

PanelSlot::~PanelSlot() {
    delete panel_.data();
}

void PanelSlot::present(std::unique_ptr<FloatingPanel> panel, double seconds) {
    close();
    panel_ = panel.release();
    connect(panel_, &FloatingPanel::dismissed, this, [this, shown = panel_.data()] {
        if (panel_ == shown) close();
    });
    panel_->present();
    const double ms = std::clamp(seconds * 1000.0, 0.0, double(std::numeric_limits<int>::max()));
    timeout_.start(static_cast<int>(std::llround(ms)));
}

void PanelSlot::close() {
    timeout_.stop();
    if (!panel_) return;
    FloatingPanel* closing = panel_;
    panel_.clear();
    closing->hide();
    // The panel may be inside one of its own controls' handlers right now.
    closing->deleteLater();
}

std::function<void()> PanelSlot::closingThen(std::function<void()> action) {
    return [slot = QPointer<PanelSlot>(this), action = std::move(action)] {
        if (slot) slot->close();
        if (action) action();
    };
}

}  // namespace qv
