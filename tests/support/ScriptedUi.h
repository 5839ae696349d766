#pragma once

#include "core/Config.h"
#include "core/Ui.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// A Ui that records every message and question and answers from a script.
class ScriptedUi : public core::Ui {
  public:
    struct Shown {
        std::string text;
        std::string title;
        core::Icon icon;
    };

    void message(const std::string& text, const std::string& title, core::Icon icon) override {
        messages.push_back({text, title, icon});
    }
    bool question(const std::string& text, const std::string& title, core::GoOn goOn) override;
    bool editFieldNames(core::FieldSettings& fields) override;
    std::optional<std::string> input(const std::string& caption, const std::string& prompt,
                                     const std::string& value) override {
        inputs.push_back({value, caption + "|" + prompt, core::Icon::Information});
        if (cancelInput)
            return std::nullopt;
        return typed ? *typed : value;
    }

    std::vector<Shown> messages;
    std::vector<Shown> questions;
    std::vector<core::GoOn> questionKinds; // the GoOn of each question, in order
    std::deque<bool> answers;              // answers in order; No when empty
    // The field-name dialog: changes the names and says whether "确定" closed it.
    std::function<bool(core::FieldSettings&)> fieldDialog = [](core::FieldSettings&) {
        return false;
    };
    int fieldDialogShown = 0;
    std::vector<Shown> inputs;        // text: the value offered; title: caption|prompt
    std::optional<std::string> typed; // what the user leaves in the prompt; the offer when empty
    bool cancelInput = false;         // the prompt is closed with "Cancel"
};

} // namespace testsupport
