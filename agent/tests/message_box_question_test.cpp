// The modal question: its texts, buttons and answers, answered by a simulated user.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "ui/message_box_question.h"

using namespace qv;

namespace {

const Question kQuestion{
    "\u201CWeekly <b>sync</b>\u201D already has a recording",
    "Add the new recording to it, or replace it?",
    {"Add to it", "Replace it", "Cancel"},
};

// Answers the next modal dialog with `act` once it is up; records what it showed.
struct User {
    std::function<void(QMessageBox&)> act;
    QString text;
    QStringList buttons;
    QString defaultButton;
    Qt::TextFormat format = Qt::AutoText;

    void answerSoon() {
        QTimer::singleShot(0, qApp, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return answerSoon();  // not up yet
            text = box->text();
            format = box->textFormat();
            for (QAbstractButton* b : box->buttons()) buttons << b->text();
            defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
            act(*box);
        });
    }
};

QAbstractButton* buttonNamed(QMessageBox& box, const QString& text) {
    for (QAbstractButton* b : box.buttons())
        if (b->text() == text) return b;
    return nullptr;
}

TEST(MessageBoxQuestion, AnswersWithThePositionOfTheButtonChosen) {
    struct Case {
        const char* name;
        std::function<void(QMessageBox&)> act;
        std::optional<int> answer;
    };
    const Case cases[] = {
        {"first", [](QMessageBox& b) { buttonNamed(b, "Add to it")->click(); }, 0},
        {"second", [](QMessageBox& b) { buttonNamed(b, "Replace it")->click(); }, 1},
        {"last", [](QMessageBox& b) { buttonNamed(b, "Cancel")->click(); }, 2},
        {"Return", [](QMessageBox& b) { QTest::keyClick(&b, Qt::Key_Return); }, 0},
        {"Escape", [](QMessageBox& b) { QTest::keyClick(&b, Qt::Key_Escape); }, 2},
    };
    for (const Case& c : cases) {
        User user{c.act};
        user.answerSoon();
        MessageBoxQuestion dialog;
        EXPECT_EQ(dialog.ask(kQuestion), c.answer) << c.name;
        EXPECT_EQ(user.text, kQuestion.text);
        EXPECT_EQ(user.format, Qt::PlainText);  // a title is never read as markup
        EXPECT_EQ(user.defaultButton, "Add to it");
        QStringList sorted = user.buttons;
        sorted.sort();
        EXPECT_EQ(sorted, (QStringList{"Add to it", "Cancel", "Replace it"}));
    }
}

}  // namespace
