// A menu row of two lines (a title, and a detail below it in the secondary text colour) with an
// optional icon, for menus Qt draws itself as popups. Main thread only.
#pragma once

#include <QIcon>
#include <QWidgetAction>

namespace qv {

class TwoLineMenuItem : public QWidgetAction {
    Q_OBJECT
  public:
    // `big`: the title at the menu's own font size rather than one point below it.
    TwoLineMenuItem(const QString& title, const QString& detail, bool big, int indent,
                    const QIcon& icon, QObject* parent);

    QString title() const { return title_; }
    QString detail() const { return detail_; }

  protected:
    QWidget* createWidget(QWidget* parent) override;

  private:
    QString title_, detail_;
    bool big_;
    int indent_;
    QIcon icon_;
};

}  // namespace qv
