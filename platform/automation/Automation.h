#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

// Late-bound automation: objects reached by member name, without regard to
// case, with the argument kinds the spreadsheet report uses. An application
// is created by the Factory the front end hands to the commands.
namespace automation {

using Arg = std::variant<std::monostate, bool, std::int32_t, std::string>;

// The server refused a call: an unknown member, a wrong argument, a range it
// cannot parse.
class Rejected : public std::runtime_error {
  public:
    explicit Rejected(const std::string& text) : std::runtime_error(text) {}
};

class Object {
  public:
    virtual ~Object() = default;
    // A method or property read that returns an object.
    virtual std::shared_ptr<Object> get(const std::string& member,
                                        const std::vector<Arg>& args) = 0;
    // A property write.
    virtual void put(const std::string& member, const Arg& value) = 0;
    // A method without result.
    virtual void call(const std::string& member, const std::vector<Arg>& args) = 0;
};

using ObjectPtr = std::shared_ptr<Object>;

using Factory = std::function<ObjectPtr()>;

// Matches member names without regard to ASCII case.
[[nodiscard]] bool Is(const std::string& member, const char* name);

} // namespace automation
