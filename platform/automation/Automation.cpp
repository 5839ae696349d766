#include "platform/automation/Automation.h"

#include "platform/text/Gbk.h"

#include <map>

namespace automation {
namespace {

std::map<std::string, Factory>& Servers() {
    static std::map<std::string, Factory> servers;
    return servers;
}

} // namespace

void Register(const std::string& className, Factory factory) {
    Servers()[text::Lower(className)] = std::move(factory);
}

void Unregister(const std::string& className) {
    Servers().erase(text::Lower(className));
}

ObjectPtr CreateObject(const std::string& className) {
    auto it = Servers().find(text::Lower(className));
    if (it == Servers().end())
        throw std::runtime_error("没有注册的自动化服务器: " + className);
    return it->second();
}

bool Is(const std::string& member, const char* name) {
    return text::EqualNoCase(member, name);
}

} // namespace automation
