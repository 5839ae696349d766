#include "fuzz/Entries.h"
#include "fuzz/Scratch.h"
#include "roster/Error.h"
#include "roster/Import.h"
#include "roster/Readers.h"

#include <fstream>
#include <stdexcept>
#include <string_view>

namespace fuzzing {
namespace {

std::filesystem::path WriteInput(const char* name, const std::uint8_t* data, std::size_t size) {
    const auto file = ScratchFolder() / name;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out.flush())
        throw std::runtime_error("cannot write " + file.string());
    return file;
}

// The list read in this process (the library under test must not hide in a
// child), every sheet of a workbook, then read as an import keeps it and
// built into a roster. A refusal the user is shown is an answer.
void ReadWholeList(const std::filesystem::path& file) {
    try {
        std::vector<std::string> sheets = roster::SheetNames(file);
        if (sheets.empty())
            sheets.emplace_back();
        for (const auto& sheet : sheets) {
            const std::optional<std::string> name =
                sheet.empty() ? std::nullopt : std::optional<std::string>(sheet);
            const roster::ListRows list =
                roster::ReadListHere(file, roster::ListRequest{name, {}, 0});
            try {
                (void)roster::BuildRoster(list.rows, {}, file.string());
            } catch (const roster::Error&) {
            }
            (void)roster::ReadListHere(file, roster::ListRequest{name, {}, 8});
        }
    } catch (const roster::Error&) {
    }
}

} // namespace

int ReadCsvList(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        const roster::DecodedText text = roster::DecodeText(bytes, "fuzz.csv");
        if (text.undecodable < text.undecodableLines.size())
            throw std::logic_error("more lines with undecodable units than units");
        (void)roster::ParseCsv(text.utf8, "fuzz.csv");
    } catch (const roster::Error&) {
    }
    ReadWholeList(WriteInput("fuzz.csv", data, size));
    return 0;
}

int ReadXlsxList(const std::uint8_t* data, std::size_t size) {
    ReadWholeList(WriteInput("fuzz.xlsx", data, size));
    return 0;
}

int ReadXlsList(const std::uint8_t* data, std::size_t size) {
    ReadWholeList(WriteInput("fuzz.xls", data, size));
    return 0;
}

} // namespace fuzzing
