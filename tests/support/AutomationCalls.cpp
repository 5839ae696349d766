#include "tests/support/AutomationCalls.h"

namespace testsupport {
namespace {

using automation::Arg;
using automation::ObjectPtr;

std::string Show(const Arg& a) {
    if (auto* b = std::get_if<bool>(&a))
        return *b ? "true" : "false";
    if (auto* i = std::get_if<std::int32_t>(&a))
        return std::to_string(*i);
    if (auto* s = std::get_if<std::string>(&a))
        return "\"" + *s + "\"";
    return "";
}

std::string Called(const std::string& member, const std::vector<Arg>& args) {
    std::string line = member + "(";
    for (std::size_t i = 0; i < args.size(); ++i)
        line += (i ? ", " : "") + Show(args[i]);
    return line + ")";
}

class Noted : public automation::Object {
  public:
    Noted(ObjectPtr inner, std::shared_ptr<std::vector<std::string>> calls)
        : mInner(std::move(inner)), mCalls(std::move(calls)) {}
    ObjectPtr get(const std::string& member, const std::vector<Arg>& args) override {
        mCalls->push_back(Called(member, args));
        return std::make_shared<Noted>(mInner->get(member, args), mCalls);
    }
    void put(const std::string& member, const Arg& value) override {
        mCalls->push_back(member + "=" + Show(value));
        mInner->put(member, value);
    }
    void call(const std::string& member, const std::vector<Arg>& args) override {
        mCalls->push_back(Called(member, args));
        mInner->call(member, args);
    }

  private:
    ObjectPtr mInner;
    std::shared_ptr<std::vector<std::string>> mCalls;
};

} // namespace

automation::Factory AutomationCalls::wrap(automation::Factory server) {
    return [server = std::move(server), calls = mCalls]() -> ObjectPtr {
        return std::make_shared<Noted>(server(), calls);
    };
}

} // namespace testsupport
