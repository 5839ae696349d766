#pragma once

#include "scoring/ScoreCommand.h"
#include "scoring/forms/SpinEdit.h"

#include <QObject>
#include <functional>

class QComboBox;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;

namespace scoring::forms {

// The two answer-key panels of the main window: "单选题" (up to four
// segments of single-choice questions, their points and key) and "不定项"
// (the multiple-choice count, full and partial points and key), with the
// small handlers that keep them consistent. The group boxes are children of
// the widget handed in; this object owns nothing else.
class AnswerKeyPanels : public QObject {
    Q_OBJECT
  public:
    explicit AnswerKeyPanels(QWidget* parent);

    // Resets the panels for a newly opened table: the combo to "1" with its
    // change handler, the keys empty, SpinEdit5 0, Edit8 and Edit9 "0".
    void ResetForTable();
    // Keeps the key edits as wide as their group boxes allow.
    void FormResize();
    // Fills the panels with settings as typed (a stored run's): the segment
    // number with the segments it enables, counts, points, keys, the
    // multiple-choice count and the full and partial points as they were.
    void Fill(const scoring::ScoringSettings& settings);

    void ComboBox1Change();
    // Edit8's change: the partial points become the whole-number half of a
    // whole number; any other text changes nothing and shows nothing.
    void Edit8Change();
    // Edit1's change: its tooltip explains the mark codes of several options
    // in the key ("G = ABCE") and points out characters that are no option.
    void Edit1Change();
    void Edit4Exit();
    // True when the key is swallowed (with a beep).
    bool Edit4KeyPress(QKeyEvent* event);

    QGroupBox* GroupBox1;
    QLabel* Label1;
    QComboBox* ComboBox1;
    QLabel* Label2;
    SpinEdit* SpinEdit1;
    QLabel* Label3;
    QLineEdit* Edit4;
    QLabel* Label4;
    SpinEdit* SpinEdit3;
    QLabel* Label5;
    QLineEdit* Edit5;
    QLabel* Label6;
    SpinEdit* SpinEdit8;
    QLabel* Label7;
    QLineEdit* Edit6;
    QLabel* Label8;
    SpinEdit* SpinEdit10;
    QLabel* Label9;
    QLineEdit* Edit7;
    QLabel* Label10;
    QLineEdit* Edit1;

    QGroupBox* GroupBox2;
    QLabel* Label11;
    SpinEdit* SpinEdit5;
    QLabel* Label12;
    QLineEdit* Edit8;
    QLabel* Label13;
    QLineEdit* Edit9;
    QLabel* Label14;
    QLineEdit* Edit2;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void setSegment(int index, bool enabled);
};

} // namespace scoring::forms
