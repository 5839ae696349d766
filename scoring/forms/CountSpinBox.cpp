#include "scoring/forms/CountSpinBox.h"

#include <QLineEdit>

namespace scoring::forms {

CountSpinBox::CountSpinBox(QWidget* parent) : QAbstractSpinBox(parent) {
    lineEdit()->setText("0");
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    setKeyboardTracking(true);
}

void CountSpinBox::setRange(int minimum, int maximum) {
    mMin = minimum;
    mMax = maximum;
}

void CountSpinBox::setMaxLength(int n) {
    lineEdit()->setMaxLength(n);
}

int CountSpinBox::value() const {
    bool ok = false;
    int v = lineEdit()->text().toInt(&ok);
    return ok ? v : 0;
}

int CountSpinBox::clamp(int v) const {
    return v < mMin ? mMin : v > mMax ? mMax : v;
}

void CountSpinBox::setValue(int v) {
    lineEdit()->setText(QString::number(clamp(v)));
}

void CountSpinBox::stepBy(int steps) {
    setValue(value() + steps);
}

QValidator::State CountSpinBox::validate(QString& input, int&) const {
    for (QChar c : input)
        if (!c.isDigit() && c != '+' && c != '-' && c != '.')
            return QValidator::Invalid;
    return QValidator::Acceptable;
}

QAbstractSpinBox::StepEnabled CountSpinBox::stepEnabled() const {
    StepEnabled e = StepNone;
    if (value() < mMax)
        e |= StepUpEnabled;
    if (value() > mMin)
        e |= StepDownEnabled;
    return e;
}

void CountSpinBox::focusOutEvent(QFocusEvent* event) {
    bool ok = false;
    int v = lineEdit()->text().toInt(&ok);
    if (ok && v != clamp(v))
        setValue(v);
    QAbstractSpinBox::focusOutEvent(event);
}

} // namespace scoring::forms
