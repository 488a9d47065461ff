// The modal question as a QMessageBox, raised and activated so that it is seen although the
// agent has no window of its own. Main thread only.
#pragma once

#include "ports/question.h"

namespace qv {

class MessageBoxQuestion : public QuestionDialog {
  public:
    std::optional<int> ask(const Question& question) override;
};

}  // namespace qv
