#include "ui/block_button.h"

#include "ui/literal_text.h"

namespace qv {

BlockButton::BlockButton(const QString& title, std::function<void()> action, QWidget* parent)
    : QPushButton(literalText(title), parent), action_(std::move(action)) {
    connect(this, &QPushButton::clicked, this, &BlockButton::fire);
}

void BlockButton::fire() {
    // The action may close the panel holding this button: keep the action alive while it runs.
    const std::function<void()> action = action_;
    if (action) action();
}

}  // namespace qv
