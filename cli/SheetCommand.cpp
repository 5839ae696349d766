#include "cli/SheetCommand.h"

#include "core/AppError.h"
#include "scan/Painting.h"
#include "scan/SheetDesign.h"
#include "scan/SheetDrawing.h"

#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace cli {

namespace {

scan::SheetSettings SettingsOf(const Args& a, const std::filesystem::path& out) {
    scan::SheetSettings s;
    const auto questions = a.option("--questions");
    if (!questions)
        throw UsageError{"sheet design needs --questions N"};
    s.questions = Number(*questions, "--questions");
    const std::pair<const char*, int scan::SheetSettings::*> numbers[] = {
        {"--options", &scan::SheetSettings::options},
        {"--multi", &scan::SheetSettings::multi},
        {"--multi-options", &scan::SheetSettings::multiOptions},
        {"--id-digits", &scan::SheetSettings::idDigits},
        {"--per-row", &scan::SheetSettings::perRow},
        {"--pages", &scan::SheetSettings::pages}};
    for (const auto& [option, member] : numbers)
        if (auto v = a.option(option))
            s.*member = Number(*v, option);
    if (auto title = a.option("--title"))
        s.title = *title;
    s.id = a.option("--id").value_or(out.filename().string());
    const std::string paper = a.option("--paper").value_or("A4");
    if (paper != "A4" && paper != "A3" && paper != "a4" && paper != "a3")
        throw UsageError{"--paper is A4 or A3, not '" + paper + "'"};
    s.paper = paper == "A3" || paper == "a3" ? scan::Paper::A3 : scan::Paper::A4;
    return s;
}

} // namespace

int RunSheetDesign(const Args& a) {
    const auto name = a.option("--out");
    if (!name || name->empty())
        throw UsageError{"sheet design needs --out NAME"};
    const std::filesystem::path out = std::filesystem::absolute(*name).lexically_normal();
    const scan::SheetSettings settings = SettingsOf(a, out);
    if (auto problem = scan::SettingsProblem(settings))
        throw UsageError{*problem};
    const std::filesystem::path folder = out.parent_path();
    if (!std::filesystem::is_directory(folder) || ::access(folder.c_str(), W_OK) != 0)
        throw core::AppError("--out: the folder " + folder.string() +
                             " does not exist or cannot be written to");
    scan::EnsurePainting();
    const auto written = scan::WriteSheet(scan::DesignSheet(settings), out);
    std::printf("wrote %s\nwrote %s\n", written.first.c_str(), written.second.c_str());
    return kDone;
}

} // namespace cli
