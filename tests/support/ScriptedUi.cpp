#include "tests/support/ScriptedUi.h"

namespace testsupport {

bool ScriptedUi::question(const std::string& text, const std::string& title, core::GoOn goOn) {
    questions.push_back({text, title, core::Icon::Information});
    questionKinds.push_back(goOn);
    if (answers.empty())
        return false;
    bool a = answers.front();
    answers.pop_front();
    return a;
}

bool ScriptedUi::editFieldNames(core::FieldSettings& fields) {
    ++fieldDialogShown;
    return fieldDialog(fields);
}

} // namespace testsupport
