#include "ui/message_box_question.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "ui/app_icon.h"
#include "ui/literal_text.h"

namespace qv {

std::optional<int> MessageBoxQuestion::ask(const Question& question) {
    QMessageBox box;
    box.setWindowTitle(QStringLiteral("Quorvia"));
    box.setWindowIcon(applicationIcon());
    box.setIconPixmap(applicationIcon().pixmap(64, 64));
    // Meeting titles come from calendars: never read them as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(question.text);
    box.setInformativeText(question.informative);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    // The question itself stands out from its explanation, as in the desktop's own dialogs.
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        QFont bold = label->font();
        bold.setBold(true);
        label->setFont(bold);
    }

    std::vector<QPushButton*> buttons;
    for (int i = 0; i < question.buttons.size(); ++i) {
        const bool last = i == question.buttons.size() - 1 && i > 0;
        buttons.push_back(box.addButton(literalText(question.buttons[i]),
                                        last ? QMessageBox::RejectRole : QMessageBox::AcceptRole));
    }
    if (!buttons.empty()) box.setDefaultButton(buttons.front());
    // Once shown, in front and with the focus, however the agent was reached.
    QTimer::singleShot(0, &box, [&box] {
        box.raise();
        box.activateWindow();
    });
    box.exec();

    for (size_t i = 0; i < buttons.size(); ++i) {
        if (box.clickedButton() == buttons[i]) return static_cast<int>(i);
    }
    return std::nullopt;
}

}  // namespace qv
