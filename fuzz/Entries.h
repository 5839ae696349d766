#pragma once

#include <cstddef>
#include <cstdint>

// The entry functions of the fuzz targets: each takes arbitrary bytes and
// must return without crashing, hanging or reading out of bounds. A refusal
// the program shows the user (db::Error for a damaged table or a bad
// statement) is an answer, not a finding; any other exception leaves the
// function. The libFuzzer mains and the replay test of the seed corpora and
// of the crashes found so far call the same functions.
namespace fuzzing {

// The bytes as a dBase table in memory: the bytes after the records its
// header states (and their end mark) are its memo file; byte 30 of the
// header, reserved in every version, picks a code page setting. Every record
// and every value is read.
int ReadDbf(const std::uint8_t* data, std::size_t size);

// The same split written as fuzz.dbf and its memo file in a folder of their
// own and imported as the program imports an answer table:
// `select * into t from fuzz in "folder" "dbase 5.0;"` on a connection over
// a scratch database, through the `dbf` virtual table. The import is rolled
// back afterwards.
int ImportDbf(const std::uint8_t* data, std::size_t size);

// The bytes as a statement in the Jet dialect, through the translator:
// tokens, the statement-level rewrites, the SQLite text, the external dBase
// tables, the single-table select, and Connection::TranslateQuery.
int TranslateJet(const std::uint8_t* data, std::size_t size);

// The bytes as config.ini, read by core::LoadConfig; what it read is then
// saved to a second file and read back.
int ReadConfig(const std::uint8_t* data, std::size_t size);

// The bytes as a class list: a CSV file (decoded, parsed, imported), an
// .xlsx or an .xls workbook (every sheet read in this process, the rows an
// import keeps and a preview's), each built into a roster. A refusal naming
// the file is an answer.
int ReadCsvList(const std::uint8_t* data, std::size_t size);
int ReadXlsxList(const std::uint8_t* data, std::size_t size);
int ReadXlsList(const std::uint8_t* data, std::size_t size);

// The entry function of a target by its name (dbf, dbf-import, jet, config,
// csv-list, xlsx-list, xls-list), or null.
// The bytes as a scanned page's file (PNG, JPEG, TIFF, PDF or anything
// else): every page taken out of it, decoded, and read with a designed
// layout when it is small.
int ReadScanInput(const std::uint8_t* data, std::size_t size);

using Entry = int (*)(const std::uint8_t*, std::size_t);
[[nodiscard]] Entry EntryNamed(const char* target);

} // namespace fuzzing
