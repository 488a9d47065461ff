// A modal question with a few buttons, answered before the call returns. Main thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace qv {

struct Question {
    QString text;         // the message, in plain text
    QString informative;  // the explanation below it, in plain text
    QStringList buttons;  // in order; the first is the default, the last the way out
};

class QuestionDialog {
  public:
    virtual ~QuestionDialog() = default;
    // Shows the question in front of other windows and waits for the answer: the position of
    // the button chosen, or nothing when the dialog was closed without one. Runs a nested
    // event loop, so timers and replies keep being handled meanwhile.
    virtual std::optional<int> ask(const Question& question) = 0;
};

}  // namespace qv
