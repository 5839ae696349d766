#include "fuzz/Entries.h"

#include <string_view>

namespace fuzzing {

Entry EntryNamed(const char* target) {
    const std::string_view name(target);
    if (name == "dbf")
        return ReadDbf;
    if (name == "dbf-import")
        return ImportDbf;
    if (name == "jet")
        return TranslateJet;
    if (name == "config")
        return ReadConfig;
    if (name == "csv-list")
        return ReadCsvList;
    if (name == "xlsx-list")
        return ReadXlsxList;
    if (name == "xls-list")
        return ReadXlsList;
    if (name == "scan-input")
        return ReadScanInput;
    return nullptr;
}

} // namespace fuzzing
