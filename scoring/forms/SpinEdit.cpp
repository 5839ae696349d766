#include "scoring/forms/SpinEdit.h"

#include <QLineEdit>

namespace scoring::forms {

SpinEdit::SpinEdit(QWidget* parent) : QAbstractSpinBox(parent) {
    lineEdit()->setText("0");
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    setKeyboardTracking(true);
}

void SpinEdit::setRange(int minimum, int maximum) {
    mMin = minimum;
    mMax = maximum;
}

void SpinEdit::setMaxLength(int n) {
    lineEdit()->setMaxLength(n);
}

int SpinEdit::value() const {
    bool ok = false;
    int v = lineEdit()->text().toInt(&ok);
    return ok ? v : 0;
}

int SpinEdit::clamp(int v) const {
    return v < mMin ? mMin : v > mMax ? mMax : v;
}

void SpinEdit::setValue(int v) {
    lineEdit()->setText(QString::number(clamp(v)));
}

void SpinEdit::stepBy(int steps) {
    setValue(value() + steps);
}

QValidator::State SpinEdit::validate(QString& input, int&) const {
    for (QChar c : input)
        if (!c.isDigit() && c != '+' && c != '-' && c != '.')
            return QValidator::Invalid;
    return QValidator::Acceptable;
}

QAbstractSpinBox::StepEnabled SpinEdit::stepEnabled() const {
    StepEnabled e = StepNone;
    if (value() < mMax)
        e |= StepUpEnabled;
    if (value() > mMin)
        e |= StepDownEnabled;
    return e;
}

void SpinEdit::focusOutEvent(QFocusEvent* event) {
    bool ok = false;
    int v = lineEdit()->text().toInt(&ok);
    if (ok && v != clamp(v))
        setValue(v);
    QAbstractSpinBox::focusOutEvent(event);
}

} // namespace scoring::forms
