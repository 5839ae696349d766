#pragma once

#include <optional>
#include <string>

namespace core {

struct FieldSettings;

enum class Icon { Information, Error, Warning };

// Which answer of a Yes/No question lets the command go on; an offer (such
// as the report at the end of a scoring run) stops nothing either way. A
// replacement (a new import of a table whose file changed) stops nothing
// either: No, which keeps what is stored, is its default, and the command
// line answers Yes only when told to.
enum class GoOn { WithYes, WithNo, Offer, Replace };

// What a command needs from whoever runs it: messages, Yes/No questions, the
// field-name dialog and a sign of progress. The window shows boxes, the
// command line prints and answers by its options, tests answer from a script.
class Ui {
  public:
    virtual ~Ui() = default;
    virtual void message(const std::string& text, const std::string& title, Icon icon) = 0;
    // A Yes/No question; true for Yes.
    virtual bool question(const std::string& text, const std::string& title,
                          GoOn goOn = GoOn::WithYes) = 0;
    // A one-line input prompt offering `value`: the text in it when it is
    // confirmed, nullopt when it is cancelled.
    virtual std::optional<std::string> input(const std::string& caption, const std::string& prompt,
                                             const std::string& value) = 0;
    // The field-name dialog, filled from the settings: true when it was closed
    // with "确定", the settings then hold what was typed.
    virtual bool editFieldNames(FieldSettings& fields) = 0;
    // Long work: `done` of `total` steps of `what`; a negative total when the
    // amount is not known; total 0 ends it.
    // A wait the user cannot shorten (another program holds the database):
    // said once per wait; the window shows it as the working sign.
    virtual void waiting(const std::string& text) { progress(text, 0, -1); }
    virtual void progress(const std::string& what, long long done, long long total) {
        (void)what;
        (void)done;
        (void)total;
    }
};

// Ends the progress a command shows when it goes out of scope, also when an
// error ends the command; shows `what` from the start when given.
class ProgressEnd {
  public:
    explicit ProgressEnd(Ui& ui, const std::string& what = {}) : mUi(ui) {
        if (!what.empty())
            mUi.progress(what, 0, -1);
    }
    ~ProgressEnd() { mUi.progress("", 0, 0); }
    ProgressEnd(const ProgressEnd&) = delete;
    ProgressEnd& operator=(const ProgressEnd&) = delete;

  private:
    Ui& mUi;
};

} // namespace core
