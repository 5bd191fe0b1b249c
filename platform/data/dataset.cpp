#include "dataset.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "text/cp1251.h"

namespace zentra::data {
namespace {

constexpr int kFetchChunk = 256;

}  // namespace

DataSet::DataSet() : fs_(&text::FormatSettings::russian()) {}

DataSet::~DataSet() = default;

const FieldDef& DataSet::field(int index) const {
    assert(index >= 0 && index < fieldCount());
    return fields_[static_cast<size_t>(index)];
}

FieldDef& DataSet::field(int index) {
    assert(index >= 0 && index < fieldCount());
    return fields_[static_cast<size_t>(index)];
}

void DataSet::setFieldVisible(int index, bool visible) {
    FieldDef& f = field(index);
    if (f.visible == visible) return;
    f.visible = visible;
    if (isOpen()) notifyChanged();
}

int DataSet::fieldIndex(std::string_view name) const {
    const std::string up = text::upperUtf8(name);
    for (int i = 0; i < fieldCount(); ++i) {
        if (text::upperUtf8(fields_[static_cast<size_t>(i)].name) == up) return i;
    }
    return -1;
}

int DataSet::requireField(std::string_view name) const {
    const int i = fieldIndex(name);
    if (i < 0) throw DataError("Поле " + std::string(name) + " не найдено");
    return i;
}

// Opens the data set and puts the cursor on the first row.
void DataSet::open() {
    if (isOpen()) return;
    fields_.clear();
    rows_.clear();
    allFetched_ = false;
    doOpen(fields_);
    state_ = DataSetState::Browse;
    fetchTo(0);
    setCursor(rows_.empty() ? -1 : 0);
    bof_ = true;
    eof_ = rows_.empty();
    notifyActive();
    if (afterOpen) afterOpen(*this);
}

// Closes the data set; a pending edit is cancelled.
void DataSet::close() {
    if (!isOpen()) return;
    if (beforeClose) beforeClose(*this);
    if (state_ != DataSetState::Browse) cancel();
    doClose();
    rows_.clear();
    buffer_.clear();
    cursor_ = -1;
    bof_ = eof_ = true;
    state_ = DataSetState::Inactive;
    notifyActive();
}

void DataSet::checkActive() const {
    if (!isOpen()) throw DataError("Набор данных закрыт");
}

void DataSet::fetchTo(int index) {
    while (!allFetched_ && static_cast<int>(rows_.size()) <= index) {
        std::vector<std::vector<Value>> chunk;
        const int want = std::max(kFetchChunk, index + 1 - static_cast<int>(rows_.size()));
        if (!doFetch(chunk, want)) allFetched_ = true;
        rows_.reserve(rows_.size() + chunk.size());
        for (auto& values : chunk) {
            assert(values.size() == fields_.size());
            rows_.push_back(Row{newId(), std::move(values)});
        }
        if (chunk.empty()) allFetched_ = true;
    }
}

void DataSet::fetchAll() { fetchTo(INT32_MAX - 1); }

int DataSet::recordCount() {
    checkActive();
    fetchAll();
    return static_cast<int>(rows_.size());
}

bool DataSet::isEmpty() {
    checkActive();
    fetchTo(0);
    return rows_.empty() && state_ != DataSetState::Insert;
}

void DataSet::setCursor(int row) { cursor_ = row; }

// Moves to the first row; bof() becomes true.
void DataSet::first() {
    if (state_ != DataSetState::Browse) post();
    checkActive();
    fetchTo(0);
    setCursor(rows_.empty() ? -1 : 0);
    bof_ = true;
    eof_ = rows_.empty();
    notifyScrolled();
}

// Moves to the last row (fetching all); eof() becomes true.
void DataSet::last() {
    if (state_ != DataSetState::Browse) post();
    checkActive();
    fetchAll();
    setCursor(static_cast<int>(rows_.size()) - 1);
    eof_ = true;
    bof_ = rows_.empty();
    notifyScrolled();
}

void DataSet::next() { moveBy(1); }
void DataSet::prior() { moveBy(-1); }

// Moves the cursor by `distance` rows, stopping at either end (which sets bof/eof).
int DataSet::moveBy(int distance) {
    if (state_ != DataSetState::Browse) post();
    checkActive();
    if (rows_.empty() && !allFetched_) fetchTo(0);
    if (rows_.empty()) {
        bof_ = eof_ = true;
        return 0;
    }
    const int from = cursor_;
    long target = static_cast<long>(cursor_) + distance;
    if (distance > 0) fetchTo(static_cast<int>(std::min<long>(target, INT32_MAX - 1)));
    const long lastRow = static_cast<long>(rows_.size()) - 1;
    bof_ = eof_ = false;
    if (target > lastRow) {
        target = lastRow;
        eof_ = true;
    } else if (target < 0) {
        target = 0;
        bof_ = true;
    }
    setCursor(static_cast<int>(target));
    if (cursor_ != from) notifyScrolled();
    return cursor_ - from;
}

bool DataSet::moveTo(int row) {
    if (state_ != DataSetState::Browse) post();
    checkActive();
    if (row < 0) return false;
    fetchTo(row);
    if (row >= static_cast<int>(rows_.size())) return false;
    bof_ = eof_ = false;
    if (row != cursor_) {
        setCursor(row);
        notifyScrolled();
    }
    return true;
}

const Value& DataSet::value(int f) const {
    static const Value kNull;
    assert(f >= 0 && f < fieldCount());
    if (state_ == DataSetState::Edit || state_ == DataSetState::Insert) {
        return buffer_[static_cast<size_t>(f)];
    }
    if (cursor_ < 0) return kNull;
    return rows_[static_cast<size_t>(cursor_)].values[static_cast<size_t>(f)];
}

const Value& DataSet::value(std::string_view name) const { return value(requireField(name)); }

const Value& DataSet::valueAt(int row, int f) const {
    assert(row >= 0 && row < fetchedCount() && f >= 0 && f < fieldCount());
    return rows_[static_cast<size_t>(row)].values[static_cast<size_t>(f)];
}

// Changes one field of the edit buffer; in browse mode it starts editing the row first.
void DataSet::setValue(int f, Value v) {
    checkActive();
    if (f < 0 || f >= fieldCount()) throw DataError("Неверный номер поля");
    if (state_ == DataSetState::Browse) edit();
    if (fields_[static_cast<size_t>(f)].readOnly) {
        throw DataError("Поле " + fields_[static_cast<size_t>(f)].name + " только для чтения");
    }
    buffer_[static_cast<size_t>(f)] = std::move(v);
    if (onFieldChange) onFieldChange(*this, f);
    notifyRecord(f);
}

void DataSet::setValue(std::string_view name, Value v) { setValue(requireField(name), std::move(v)); }

std::string DataSet::formatValue(const FieldDef& f, const Value& v, bool forEdit) const {
    if (v.isNull()) return {};
    switch (f.kind) {
        case FieldKind::Integer: return std::to_string(v.toInt());
        case FieldKind::Float:
            return f.decimals >= 0 ? fs_->formatFixed(v.toDouble(), f.decimals, !forEdit)
                                   : fs_->formatGeneral(v.toDouble());
        case FieldKind::Date: return fs_->formatDate(v.toDate());
        case FieldKind::DateTime: return fs_->formatDateTime(v.toDateTime());
        case FieldKind::Boolean: return v.toBool() ? "да" : "нет";
        case FieldKind::Text:
        case FieldKind::Memo: return v.toText();
    }
    return v.toText();
}

std::string DataSet::displayText(int f) const { return formatValue(field(f), value(f), false); }
std::string DataSet::displayTextAt(int row, int f) const {
    return formatValue(field(f), valueAt(row, f), false);
}
std::string DataSet::editText(int f) const { return formatValue(field(f), value(f), true); }

Value DataSet::parseText(const FieldDef& f, std::string_view t) const {
    std::string_view trimmed = t;
    while (!trimmed.empty() && trimmed.front() == ' ') trimmed.remove_prefix(1);
    while (!trimmed.empty() && trimmed.back() == ' ') trimmed.remove_suffix(1);
    if (trimmed.empty() && f.kind != FieldKind::Text && f.kind != FieldKind::Memo) return Value();
    const std::string shown(t);
    switch (f.kind) {
        case FieldKind::Integer: {
            const auto d = fs_->parseNumber(trimmed);
            if (!d || *d != std::trunc(*d) || std::fabs(*d) > 9e15) {
                throw DataError("\"" + shown + "\" не является целым числом");
            }
            return Value(static_cast<int64_t>(*d));
        }
        case FieldKind::Float: {
            const auto d = fs_->parseNumber(trimmed);
            if (!d || !std::isfinite(*d)) throw DataError("\"" + shown + "\" не является числом");
            return Value(*d);
        }
        case FieldKind::Date: {
            const auto d = fs_->parseDate(trimmed);
            if (!d) throw DataError("\"" + shown + "\" не является датой");
            return Value(*d);
        }
        case FieldKind::DateTime: {
            const auto d = fs_->parseDateTime(trimmed);
            if (!d) throw DataError("\"" + shown + "\" не является датой и временем");
            return Value(*d);
        }
        case FieldKind::Boolean: {
            const std::string low = text::lowerUtf8(trimmed);
            if (low == "да" || low == "1" || low == "true") return Value(true);
            if (low == "нет" || low == "0" || low == "false") return Value(false);
            throw DataError("\"" + shown + "\" не является логическим значением");
        }
        case FieldKind::Text:
        case FieldKind::Memo:
            if (f.size > 0 && f.kind == FieldKind::Text) {
                // Sizes count characters; the text is UTF-8.
                size_t chars = 0;
                for (unsigned char c : t) chars += (c & 0xC0) != 0x80;
                if (chars > static_cast<size_t>(f.size)) {
                    throw DataError("Текст длиннее " + std::to_string(f.size) + " символов");
                }
            }
            return Value(std::string(t));
    }
    return Value(std::string(t));
}

void DataSet::setEditText(int f, std::string_view t) { setValue(f, parseText(field(f), t)); }

// Copies the current row into the edit buffer.
void DataSet::edit() {
    checkActive();
    if (state_ == DataSetState::Edit || state_ == DataSetState::Insert) return;
    if (cursor_ < 0) throw DataError("Нет записи для редактирования");
    if (beforeEdit) beforeEdit(*this);
    buffer_ = rows_[static_cast<size_t>(cursor_)].values;
    oldValues_ = buffer_;
    state_ = DataSetState::Edit;
    notifyState();
    if (afterEdit) afterEdit(*this);
}

void DataSet::insert() {
    checkActive();
    if (state_ != DataSetState::Browse) post();
    if (beforeInsert) beforeInsert(*this);
    insertAt_ = cursor_ < 0 ? 0 : cursor_;
    buffer_.assign(fields_.size(), Value());
    oldValues_ = buffer_;
    state_ = DataSetState::Insert;
    notifyState();
    if (afterInsert) afterInsert(*this);
}

void DataSet::append() {
    checkActive();
    if (state_ != DataSetState::Browse) post();
    fetchAll();
    if (beforeInsert) beforeInsert(*this);
    insertAt_ = static_cast<int>(rows_.size());
    buffer_.assign(fields_.size(), Value());
    oldValues_ = buffer_;
    state_ = DataSetState::Insert;
    notifyState();
    if (afterInsert) afterInsert(*this);
}

// Stores the edit buffer. On failure the state and the buffer stay as they were.
void DataSet::post() {
    checkActive();
    if (state_ == DataSetState::Browse) return;
    if (beforePost) beforePost(*this);
    std::vector<Value> values = buffer_;
    const bool inserting = state_ == DataSetState::Insert;
    doPost(inserting, values, oldValues_);
    if (inserting) {
        const int at = std::clamp(insertAt_, 0, static_cast<int>(rows_.size()));
        rows_.insert(rows_.begin() + at, Row{newId(), std::move(values)});
        setCursor(at);
    } else {
        rows_[static_cast<size_t>(cursor_)].values = std::move(values);
    }
    buffer_.clear();
    state_ = DataSetState::Browse;
    bof_ = eof_ = false;
    notifyState();
    notifyChanged();
    if (afterPost) afterPost(*this);
}

void DataSet::cancel() {
    if (state_ != DataSetState::Edit && state_ != DataSetState::Insert) return;
    if (beforeCancel) beforeCancel(*this);
    buffer_.clear();
    state_ = DataSetState::Browse;
    notifyState();
    notifyRecord(-1);
    if (afterCancel) afterCancel(*this);
}

// Deletes the current row through the implementation; the cursor stays at the same position
// (the next row), or on the new last row.
void DataSet::remove() {
    checkActive();
    if (state_ == DataSetState::Insert) {
        cancel();
        return;
    }
    if (state_ == DataSetState::Edit) cancel();
    if (cursor_ < 0) throw DataError("Нет записи для удаления");
    if (beforeDelete) beforeDelete(*this);
    doDelete(rows_[static_cast<size_t>(cursor_)].values);
    rows_.erase(rows_.begin() + cursor_);
    fetchTo(cursor_);
    if (cursor_ >= static_cast<int>(rows_.size())) setCursor(static_cast<int>(rows_.size()) - 1);
    eof_ = rows_.empty();
    bof_ = rows_.empty();
    notifyChanged();
    if (afterDelete) afterDelete(*this);
}

Bookmark DataSet::bookmark() const {
    if (cursor_ < 0) return kNoBookmark;
    return rows_[static_cast<size_t>(cursor_)].id;
}

Bookmark DataSet::bookmarkAt(int row) const {
    if (row < 0 || row >= fetchedCount()) return kNoBookmark;
    return rows_[static_cast<size_t>(row)].id;
}

bool DataSet::bookmarkValid(Bookmark b) const {
    if (b == kNoBookmark) return false;
    return std::any_of(rows_.begin(), rows_.end(), [b](const Row& r) { return r.id == b; });
}

bool DataSet::gotoBookmark(Bookmark b) {
    if (b == kNoBookmark) return false;
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].id == b) return moveTo(static_cast<int>(i));
    }
    return false;
}

void DataSet::disableControls() { ++disableCount_; }

void DataSet::enableControls() {
    assert(disableCount_ > 0);
    if (disableCount_ == 0) return;
    if (--disableCount_ == 0 && pendingChange_) {
        pendingChange_ = false;
        notifyChanged();
    }
}

void DataSet::attach(DataLink* link) {
    if (std::find(links_.begin(), links_.end(), link) == links_.end()) links_.push_back(link);
}

void DataSet::detach(DataLink* link) {
    links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end());
}

// Each notifier either reaches every link or, while controls are disabled, leaves one pending
// dataSetChanged for enableControls.
void DataSet::notifyChanged() {
    if (controlsDisabled()) {
        pendingChange_ = true;
        return;
    }
    for (DataLink* l : std::vector<DataLink*>(links_)) l->dataSetChanged(*this);
}

void DataSet::notifyScrolled() {
    if (controlsDisabled()) {
        pendingChange_ = true;
        return;
    }
    for (DataLink* l : std::vector<DataLink*>(links_)) l->scrolled(*this);
    if (afterScroll) afterScroll(*this);
}

void DataSet::notifyRecord(int f) {
    if (controlsDisabled()) {
        pendingChange_ = true;
        return;
    }
    for (DataLink* l : std::vector<DataLink*>(links_)) l->recordChanged(*this, f);
}

void DataSet::notifyState() {
    if (controlsDisabled()) {
        pendingChange_ = true;
        return;
    }
    for (DataLink* l : std::vector<DataLink*>(links_)) l->stateChanged(*this);
}

void DataSet::notifyActive() {
    if (controlsDisabled()) {
        pendingChange_ = true;
        return;
    }
    for (DataLink* l : std::vector<DataLink*>(links_)) l->activeChanged(*this);
}

MemoryDataSet::MemoryDataSet(std::vector<FieldDef> fields) : defs_(std::move(fields)) {}

MemoryDataSet::~MemoryDataSet() = default;

void MemoryDataSet::doOpen(std::vector<FieldDef>& fields) {
    fields = defs_;
    served_ = 0;
    for (const auto& r : initial_) {
        if (r.size() != defs_.size()) throw DataError("Число значений строки не равно числу полей");
    }
}

bool MemoryDataSet::doFetch(std::vector<std::vector<Value>>& out, int count) {
    while (count-- > 0 && served_ < initial_.size()) out.push_back(initial_[served_++]);
    return served_ < initial_.size();
}

}  // namespace zentra::data
