// A push button that runs a stored action on every click. Main thread only.
#pragma once

#include <QPushButton>
#include <functional>

namespace qv {

class BlockButton : public QPushButton {
  public:
    // The caption is shown as it stands ('&' marks no mnemonic). The caller sets the geometry.
    BlockButton(const QString& title, std::function<void()> action, QWidget* parent = nullptr);
    // Runs the action, as a click does.
    void fire();

  private:
    std::function<void()> action_;
};

}  // namespace qv
