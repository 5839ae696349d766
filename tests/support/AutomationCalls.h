#pragma once

#include "platform/automation/Automation.h"

#include <memory>
#include <string>
#include <vector>

namespace testsupport {

// Every call an application of `server` and the objects it hands out
// receive, as "member(args)" or "member=value", in order: the factory that
// wrap() returns passes each call on to the server's own object after
// noting it.
class AutomationCalls {
  public:
    [[nodiscard]] automation::Factory wrap(automation::Factory server);
    [[nodiscard]] const std::vector<std::string>& calls() const { return *mCalls; }
    void clear() { mCalls->clear(); }

  private:
    std::shared_ptr<std::vector<std::string>> mCalls = std::make_shared<std::vector<std::string>>();
};

} // namespace testsupport
