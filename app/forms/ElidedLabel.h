#pragma once

#include <QLabel>

namespace app::forms {

// A one-line label that, when its text is wider than the room it is given,
// shows the text shortened in the middle ("数据文件…share/quillory") instead
// of cut off at the right, where a cut path can read as another folder.
// text() and the tooltip keep the whole text.
class ElidedLabel : public QLabel {
    Q_OBJECT
    Q_PROPERTY(QString shownText READ shownText)

  public:
    using QLabel::QLabel;

    // The text as painted at the label's present width.
    [[nodiscard]] QString shownText() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace app::forms
