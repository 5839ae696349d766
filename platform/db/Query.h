#pragma once

#include "platform/db/Connection.h"
#include "platform/db/Field.h"
#include "platform/db/Value.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace db {

class Statement;

// Told what a Query does, so that a view over it (the grid) can follow.
// Nothing is told while the query's controls are disabled; enabling them
// again tells datasetChanged().
class QueryObserver {
  public:
    virtual ~QueryObserver() = default;
    // Opened, closed, reopened, or controls enabled again: read everything anew.
    virtual void datasetChanged() = 0;
    // The values of one row changed (post) or a row was appended.
    virtual void rowChanged(int row) = 0;
    virtual void currentChanged(int row) = 0;
    // Controls were disabled (true) or enabled again (false).
    virtual void controlsChanged(bool disabled) { (void)disabled; }
};

// A dataset with a cursor: the grid's table view, the general query and the
// dialogs' queries. The SQL text is held as lines. A single-table SELECT is
// opened as a keyset (the ordered rowids); its rows are read on demand into a
// small window and edits are posted as one UPDATE ... WHERE rowid = ?, so a
// table of a million sheets is never held in memory. Any other result is read
// whole and is read-only.
//
// Row numbers are 0-based. Like the datasets the forms know: bof() is true
// after first(), eof() after next() on the last row or last(); an empty
// result is both.
class Query {
  public:
    enum class State { Inactive, Browse, Edit, Insert };
    using Bookmark = int;

    explicit Query(Connection& connection);
    ~Query();
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    // SQL text: lines; read back, every line ends with CR LF.
    void setSql(std::string_view text);
    void addSql(std::string_view line);
    void clearSql() { mSqlLines.clear(); }
    [[nodiscard]] const std::vector<std::string>& sqlLines() const { return mSqlLines; }
    [[nodiscard]] std::string sqlText() const;

    // Named parameters (":ClassID" is set as "ClassID"), kept across opens.
    void setParam(const std::string& name, Value value);
    // Checks the statement and its parameters before the first open.
    void prepare();

    void open();
    void close();
    // Executes the text as a statement without result; returns the rows changed.
    int execSql();
    [[nodiscard]] bool isOpen() const { return mState != State::Inactive; }
    [[nodiscard]] State state() const { return mState; }

    void first();
    void next();
    void prior();
    void last();
    void moveTo(int row);
    [[nodiscard]] bool eof() const { return mEof; }
    [[nodiscard]] bool bof() const { return mBof; }
    [[nodiscard]] int recordCount() const;
    [[nodiscard]] int recNo() const { return mRow; }

    [[nodiscard]] int fieldCount() const { return static_cast<int>(mFields.size()); }
    [[nodiscard]] const Field& field(int i) const {
        return mFields.at(static_cast<std::size_t>(i));
    }
    [[nodiscard]] int findField(std::string_view name) const;
    [[nodiscard]] bool hasField(std::string_view name) const { return findField(name) >= 0; }
    // The field's index; throws db::Error naming the missing field.
    [[nodiscard]] int fieldIndex(std::string_view name) const;

    // Values of the current row (the edit buffer while editing).
    [[nodiscard]] Value value(int field) const;
    [[nodiscard]] Value value(std::string_view name) const { return value(fieldIndex(name)); }
    [[nodiscard]] std::string asText(std::string_view name) const { return ToText(value(name)); }
    [[nodiscard]] std::int64_t asInteger(std::string_view name) const {
        return ToInteger(value(name));
    }
    [[nodiscard]] double asFloat(std::string_view name) const { return ToFloat(value(name)); }
    [[nodiscard]] bool isNull(std::string_view name) const { return IsNull(value(name)); }

    // Any row's value, for a view that shows many rows.
    [[nodiscard]] Value valueAt(int row, int field) const;

    void edit();
    void append();
    void setValue(int field, Value v);
    void setValue(std::string_view name, Value v) { setValue(fieldIndex(name), std::move(v)); }
    void post();
    void cancel();

    [[nodiscard]] Bookmark bookmark() const { return mRow; }
    void gotoBookmark(Bookmark b) { moveTo(b); }

    void disableControls();
    void enableControls();
    [[nodiscard]] bool controlsDisabled() const { return mDisabled > 0; }
    void addObserver(QueryObserver* o);
    void removeObserver(QueryObserver* o);

    [[nodiscard]] Connection& connection() const { return mConnection; }

    // For writers that post many rows themselves: whether the rows are a
    // keyset over one table, that table, and the current row's rowid.
    [[nodiscard]] bool isKeyset() const { return mKeyset != nullptr; }
    [[nodiscard]] std::string baseTable() const;
    [[nodiscard]] std::int64_t rowid() const { return rowidAt(mRow); }
    [[nodiscard]] std::int64_t rowidAt(int row) const;
    // Reads the rows again as stored (after they were written around the dataset).
    void refresh();

    // Value conversions as the forms read fields: null reads as "" and 0.
    [[nodiscard]] static std::string ToText(const Value& v);
    [[nodiscard]] static std::int64_t ToInteger(const Value& v);
    [[nodiscard]] static double ToFloat(const Value& v);

  private:
    struct Keyset;
    [[nodiscard]] const std::vector<Value>& row(int r) const;
    void fetchWindow(int r) const;
    void markStale(int r);
    void refreshRow(int r) const;
    void checkEditable() const;
    void autoPost();
    void notifyChanged();
    void notifyCurrent();
    void notifyRow(int r);

    Connection& mConnection;
    std::vector<std::string> mSqlLines;
    Params mParams;
    State mState = State::Inactive;
    std::vector<Field> mFields;
    std::unique_ptr<Keyset> mKeyset;
    std::vector<std::vector<Value>> mRows; // whole results (no keyset)
    int mRow = -1;
    bool mBof = true;
    bool mEof = true;
    std::vector<Value> mBuffer;
    std::vector<bool> mChanged;
    std::vector<int> mWriteKey;
    int mDisabled = 0;
    std::vector<QueryObserver*> mObservers;
};

} // namespace db
