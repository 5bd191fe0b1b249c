// Data sets: rows of named fields with a cursor, editing, bookmarks and links to the windows and
// grids that show them. SqlDataSet reads a select and writes through modify/insert/delete
// statements; MemoryDataSet keeps rows it is given. Both behave the same to their users.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "db/value.h"
#include "text/format_settings.h"

namespace zentra::data {

using db::Value;

// A user or program mistake on a data set ("not in edit mode", "not a number"); the text is
// meant for the user.
class DataError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class FieldKind { Integer, Float, Text, Memo, Date, DateTime, Boolean };

struct FieldDef {
    std::string name;
    std::string label;  // shown in grid titles; the name when empty
    FieldKind kind = FieldKind::Text;
    int size = 0;       // characters for texts
    int decimals = -1;  // fixed fraction digits of Float fields; -1 shortest form
    bool readOnly = false;
    bool visible = true;  // shown by the controls that follow the field's settings
};

enum class DataSetState { Inactive, Browse, Edit, Insert };

class DataSet;

// What a window or grid attaches to a data set to hear about it. While the data set's controls
// are disabled nothing is sent; enabling them sends one dataSetChanged for everything missed.
class DataLink {
public:
    virtual ~DataLink() = default;
    virtual void activeChanged(DataSet&) {}
    virtual void dataSetChanged(DataSet&) {}          // rows or structure changed
    virtual void scrolled(DataSet&) {}                // the cursor moved
    virtual void recordChanged(DataSet&, int field) {}  // one field of the current row (-1: all)
    virtual void stateChanged(DataSet&) {}
};

// An opaque position that survives inserts and deletes of other rows.
using Bookmark = uint64_t;
inline constexpr Bookmark kNoBookmark = 0;

class DataSet {
public:
    using Hook = std::function<void(DataSet&)>;

    DataSet();
    virtual ~DataSet();
    DataSet(const DataSet&) = delete;
    DataSet& operator=(const DataSet&) = delete;

    // Structure.
    int fieldCount() const { return static_cast<int>(fields_.size()); }
    const FieldDef& field(int index) const;
    FieldDef& field(int index);
    int fieldIndex(std::string_view name) const;   // -1 when absent (case-insensitive)
    // Shows or hides a field in the controls that follow the field's settings; like any change
    // of the structure they hear of it through dataSetChanged.
    void setFieldVisible(int index, bool visible);
    int requireField(std::string_view name) const;  // throws DataError when absent

    // Life.
    void open();
    void close();
    bool isOpen() const { return state_ != DataSetState::Inactive; }
    DataSetState state() const { return state_; }

    // Whether the data set can tell the number of its current record and its record count
    // cheaply; a grid shows a true record position on its scroll bar only when it can.
    virtual bool isSequenced() const { return true; }

    // Cursor. Rows are numbered from 0; an empty data set has recNo() -1 and bof() and eof().
    int recordCount();  // reads every remaining row first
    int fetchedCount() const { return static_cast<int>(rows_.size()); }
    int recNo() const { return cursor_; }
    bool bof() const { return bof_; }
    bool eof() const { return eof_; }
    bool isEmpty();
    void first();
    void last();
    void next();
    void prior();
    int moveBy(int distance);  // returns how far it moved
    bool moveTo(int row);

    // Values of the current row (the edit buffer while editing or inserting).
    const Value& value(int field) const;
    const Value& value(std::string_view name) const;
    // Any fetched row, without moving the cursor or touching the edit buffer.
    const Value& valueAt(int row, int field) const;
    void setValue(int field, Value v);
    void setValue(std::string_view name, Value v);
    std::string displayText(int field) const;
    std::string displayTextAt(int row, int field) const;
    std::string editText(int field) const;
    void setEditText(int field, std::string_view text);  // parses by the field's kind

    // Editing. post() writes through the implementation; a failure leaves the data set in its
    // edit state with the user's values, so nothing typed is lost.
    void edit();
    void insert();  // a new row before the current one
    void append();  // a new row at the end
    void post();
    void cancel();
    void remove();  // deletes the current row

    // Hooks, each optional; "before" hooks may throw to stop the operation.
    Hook beforeEdit, afterEdit, beforeInsert, afterInsert, beforePost, afterPost, beforeCancel,
        afterCancel, beforeDelete, afterDelete, afterOpen, beforeClose, afterScroll;
    std::function<void(DataSet&, int field)> onFieldChange;

    // Bookmarks.
    Bookmark bookmark() const;
    // The bookmark of any fetched row, without moving the cursor (grids read the marks of the
    // rows they paint this way).
    Bookmark bookmarkAt(int row) const;
    bool bookmarkValid(Bookmark b) const;
    bool gotoBookmark(Bookmark b);

    // Attached controls.
    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return disableCount_ > 0; }
    void attach(DataLink* link);
    void detach(DataLink* link);

    void setFormatSettings(const text::FormatSettings* fs) { fs_ = fs; }
    const text::FormatSettings& formatSettings() const { return *fs_; }

protected:
    struct Row {
        Bookmark id = kNoBookmark;
        std::vector<Value> values;
    };

    // Implementation steps.
    virtual void doOpen(std::vector<FieldDef>& fields) = 0;
    virtual void doClose() {}
    // Appends up to `count` more rows to `out`; returns false when there are no more.
    virtual bool doFetch(std::vector<std::vector<Value>>& out, int count) = 0;
    // Stores a changed or new row; may update `values` (keys given by the database).
    virtual void doPost(bool inserting, std::vector<Value>& values,
                        const std::vector<Value>& oldValues) = 0;
    virtual void doDelete(const std::vector<Value>& values) = 0;

    // Makes sure rows up to `index` are fetched when they exist.
    void fetchTo(int index);
    void fetchAll();
    void notifyChanged();

private:
    void checkActive() const;
    void setCursor(int row);
    void notifyScrolled();
    void notifyRecord(int field);
    void notifyState();
    void notifyActive();
    Value parseText(const FieldDef& f, std::string_view text) const;
    std::string formatValue(const FieldDef& f, const Value& v, bool forEdit) const;
    Bookmark newId() { return ++lastId_; }

    std::vector<FieldDef> fields_;
    std::vector<Row> rows_;
    std::vector<Value> buffer_;  // edit or insert buffer
    std::vector<Value> oldValues_;
    int insertAt_ = -1;          // where an inserted row goes
    bool allFetched_ = false;
    int cursor_ = -1;
    bool bof_ = true;
    bool eof_ = true;
    DataSetState state_ = DataSetState::Inactive;
    Bookmark lastId_ = 0;
    int disableCount_ = 0;
    bool pendingChange_ = false;
    std::vector<DataLink*> links_;
    const text::FormatSettings* fs_;
};

// Rows kept in memory; post and delete only change the rows.
class MemoryDataSet : public DataSet {
public:
    explicit MemoryDataSet(std::vector<FieldDef> fields);
    ~MemoryDataSet() override;
    // Rows the data set starts with at each open.
    void setInitialRows(std::vector<std::vector<Value>> rows) { initial_ = std::move(rows); }

protected:
    void doOpen(std::vector<FieldDef>& fields) override;
    bool doFetch(std::vector<std::vector<Value>>& out, int count) override;
    void doPost(bool, std::vector<Value>&, const std::vector<Value>&) override {}
    void doDelete(const std::vector<Value>&) override {}

private:
    std::vector<FieldDef> defs_;
    std::vector<std::vector<Value>> initial_;
    size_t served_ = 0;
};

}  // namespace zentra::data
