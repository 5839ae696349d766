#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace db {

// What reading one dBase table noticed that the user should hear about,
// besides its rows: filled by the reader, shown by the front end.
struct DbfReadReport {
    std::string file;                 // the table file's path; the notes name it without its folder
    int codePage = 936;               // the code page its text was decoded with
    int headerCodePage = 0;           // the one its header names; 0: none it knows
    bool codePageFromSetting = false; // codePage is the connection's setting
    bool nonAsciiText = false;        // a field name or a text value was not plain ASCII
    std::vector<std::pair<std::string, std::string>> renamedFields; // header name, column name
    std::uint64_t unreadableValues = 0; // values read as NULL because they are no value
    std::uint64_t leftoverBytes = 0;    // bytes after the records the header states
    int recordLength = 1;

    // The notes for stderr or the status line, in Chinese, each naming the
    // file; none when there is nothing to tell.
    [[nodiscard]] std::vector<std::string> notes() const;
};

// The reports of the dBase tables read through one connection since its
// owner last took them, one per file (a file read twice in a row, as by an
// opening's structure copy and then its import, gives one report), and the
// code page that overrides the tables' headers.
class DbfReads {
  public:
    // 0 lets each table's header decide.
    void setCodePage(int codePage) { mCodePage = codePage; }
    [[nodiscard]] int codePage() const { return mCodePage; }

    void record(const DbfReadReport& report);
    [[nodiscard]] std::vector<DbfReadReport> take();

  private:
    int mCodePage = 0;
    std::vector<DbfReadReport> mReports;
};

} // namespace db
