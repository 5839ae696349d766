#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

// The arguments of one quillory-cli call as the commands read them, the
// exit statuses, and the readers of option values that turn a value no one
// can mean into bad usage.
namespace cli {

inline constexpr int kDone = 0, kError = 1, kUsage = 2, kStopped = 3;

// The command, its TABLE.dbf (or FILE, or INPUT...), the options with their values in
// the order given and the flags.
struct Args {
    std::string command;
    std::string table;
    std::vector<std::string> inputs; // the input files of a command that takes many
    std::map<std::string, std::vector<std::string>> options;
    std::set<std::string> flags;

    // The last value of an option, nothing when it was not given.
    [[nodiscard]] std::optional<std::string> option(const std::string& name) const {
        auto it = options.find(name);
        if (it == options.end() || it->second.empty())
            return std::nullopt;
        return it->second.back();
    }
};

// Bad usage: its text goes to stderr with the usage, and the exit status is kUsage.
struct UsageError {
    std::string text;
};

// A whole-number option value; anything else is bad usage naming the option.
[[nodiscard]] int Number(const std::string& text, const char* option);

// A decimal option such as --pass 60 or --groups 27.5: the whole text must
// be a number.
[[nodiscard]] double Decimal(const std::string& text, const char* option);

// A comma-separated list, empty parts kept.
[[nodiscard]] std::vector<std::string> Split(const std::string& list);

} // namespace cli
