#pragma once

#include "core/Ui.h"

#include <optional>

namespace cli {

// Answers every question without a person: by default the way that stops
// the command, with --go-on the way that lets it go on. Every message and
// question is printed to stderr with its title.
class CliUi : public core::Ui {
public:
    // goOn: --go-on; report: --report, the answer to an offer.
    CliUi(bool goOn, bool report = false) : mGoOn(goOn), mReport(report) {}
    void message(const std::string& text, const std::string& title, core::Icon icon) override;
    bool question(const std::string& text, const std::string& title, core::GoOn goOn) override;
    bool editFieldNames(core::FieldSettings& fields) override;
    std::string input(const std::string& caption, const std::string& prompt,
                      const std::string& value) override;
    // The text typed into the next input prompt (--start); the offer when unset.
    std::optional<std::string> typed;
    void progress(const std::string& what, long long done, long long total) override;

    // A question was answered the stopping way (exit status 3).
    [[nodiscard]] bool stopped() const { return mStopped; }

private:
    bool mGoOn;
    bool mReport;
    bool mStopped = false;
    int mLastPercent = -1;
};

} // namespace cli
