#pragma once

#include <filesystem>
#include <string>

namespace cli {

// The text of `quillory-cli --help` (and `quillory-cli COMMAND --help`):
// the synopsis, the usage lines given (every command's, or one command's),
// the global options with the home folder `home` that is used now, the
// answer-key syntax, what `rekey` keeps and refuses when `rekey`, and the
// exit statuses.
[[nodiscard]] std::string HelpText(const std::string& commandUsage,
                                   const std::filesystem::path& home, bool rekey);

} // namespace cli
