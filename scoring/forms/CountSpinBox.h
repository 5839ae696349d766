#pragma once

#include <QAbstractSpinBox>

namespace scoring::forms {

// A spin box for the question counts of the answer-key panels: digits, "+", "-" and "." may
// be typed; the value is the text as a whole number (0 when it is not one);
// a value outside the range is brought back into it only when the edit
// loses the focus or is set by the program, so a count typed and used at
// once is taken as typed.
class CountSpinBox : public QAbstractSpinBox {
    Q_OBJECT
  public:
    explicit CountSpinBox(QWidget* parent = nullptr);

    void setRange(int minimum, int maximum);
    [[nodiscard]] int minimum() const { return mMin; }
    [[nodiscard]] int maximum() const { return mMax; }
    void setMaxLength(int n);

    // The text as a whole number, or 0.
    [[nodiscard]] int value() const;
    // Sets the value, brought into the range.
    void setValue(int v);

    void stepBy(int steps) override;
    QValidator::State validate(QString& input, int& pos) const override;

  protected:
    StepEnabled stepEnabled() const override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    [[nodiscard]] int clamp(int v) const;
    int mMin = 0;
    int mMax = 100;
};

} // namespace scoring::forms
