#pragma once

#include "core/Ui.h"

#include <optional>

namespace cli {

// Answers every question without a person: by default the way that stops
// the command, with --go-on the way that lets it go on. Every message and
// question is printed to stderr with its title. A question whether to
// replace what is stored (a new import of a changed table) is answered No
// unless --reimport was given; --go-on alone does not say Yes to it.
class CliUi : public core::Ui {
  public:
    // How the questions are answered: --go-on, --report (the answer to an
    // offer) and --reimport (the answer to a replacement).
    struct Answers {
        bool goOn = false;
        bool report = false;
        bool replace = false;
    };
    explicit CliUi(const Answers& answers)
        : mGoOn(answers.goOn), mReport(answers.report), mReplace(answers.replace) {}
    void message(const std::string& text, const std::string& title, core::Icon icon) override;
    bool question(const std::string& text, const std::string& title, core::GoOn goOn) override;
    bool editFieldNames(core::FieldSettings& fields) override;
    std::optional<std::string> input(const std::string& caption, const std::string& prompt,
                                     const std::string& value) override;
    // The text typed into the next input prompt (--start); the offer when unset.
    std::optional<std::string> typed;
    void progress(const std::string& what, long long done, long long total) override;
    // Printed to stderr once per distinct text, terminal or not.
    void waiting(const std::string& text) override;

    // A question was answered the stopping way (exit status 3).
    [[nodiscard]] bool stopped() const { return mStopped; }

  private:
    bool mGoOn;
    bool mReport;
    bool mReplace;
    bool mStopped = false;
    int mLastPercent = -1;
    std::string mLastWait;
};

} // namespace cli
