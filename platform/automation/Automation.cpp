#include "platform/automation/Automation.h"

#include "platform/text/Gbk.h"

namespace automation {

bool Is(const std::string& member, const char* name) {
    return text::EqualNoCase(member, name);
}

} // namespace automation
