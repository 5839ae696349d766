#pragma once

#include "scoring/ScoreCommand.h"
#include "scoring/forms/CountSpinBox.h"

#include <QWidget>

class QComboBox;
class QGroupBox;
class QKeyEvent;
class QLineEdit;

namespace scoring::forms {

// The two answer-key panels of the main window, one above the other:
// "单选题" (up to four segments of single-choice questions, their points and
// key) and "不定项" (the multiple-choice count, full and partial points and
// key), with the small handlers that keep them consistent. Their widgets
// keep their designer names as object names, for tests.
class AnswerKeyPanels : public QWidget {
    Q_OBJECT
  public:
    explicit AnswerKeyPanels(QWidget* parent);

    // Resets the panels for a newly opened table: the segment number to "1"
    // with the segments it enables, the keys empty, no multiple-choice
    // questions and their points "0".
    void resetForTable();
    // Fills the panels with settings as typed (a stored run's): the segment
    // number with the segments it enables, counts, points, keys, the
    // multiple-choice count and the full and partial points as they were.
    void fill(const scoring::ScoringSettings& settings);
    // The settings as the panels hold them.
    [[nodiscard]] scoring::ScoringSettings settings() const;

    // The single-choice questions of the four segments together.
    [[nodiscard]] int singleChoiceCount() const;
    [[nodiscard]] int multipleChoiceCount() const;
    void setFirstSegmentCount(int count);
    void setSingleKey(const QString& key);

    // Enables the segments the chosen segment number asks for and empties
    // the others; the number chosen by the user does it on its own.
    void enableChosenSegments();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QGroupBox* buildSingleChoice();
    QGroupBox* buildMultipleChoice();
    void setSegment(int index, bool enabled);
    // The partial points become the whole-number half of whole full points;
    // any other text changes nothing and shows nothing.
    void offerPartialPoints();
    // The single key's tooltip explains the mark codes of several options
    // in the key ("G = ABCE") and points out characters that are no option.
    void explainSingleKey();
    // The first segment's points left empty become "0".
    void fillEmptyFirstPoints();
    // True when a key typed into points is swallowed (with a beep).
    static bool refusePointsKey(const QKeyEvent* event);

    QComboBox* mSegmentCount;
    CountSpinBox* mCounts[4]; // the questions of each segment
    QLineEdit* mPoints[4];    // the points of a question of each segment
    QLineEdit* mSingleKey;
    CountSpinBox* mMultipleCount;
    QLineEdit* mFullPoints;
    QLineEdit* mPartialPoints;
    QLineEdit* mMultipleKey;
};

} // namespace scoring::forms
