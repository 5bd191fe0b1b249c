// DBGridEx: binding, layout, painting and the record operations. Input handling and the in-place
// editor are in dbgrid_ex_input.cpp.
#include "dbgrid_ex.h"

#include <qdrawutil.h>
#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QScrollBar>
#include <QStaticText>
#include <QTimer>
#include <QToolButton>
#include <QtMath>
#include <cstdio>

#include "grid_resources.h"
#include "inplace_edit.h"
#include "progress_window.h"
#include "record_search.h"

namespace zentra::grid {

namespace {

QString utf8(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}
std::string toStd(const QString& s) {
    return s.toStdString();
}

int textHeight(const QFont& f) {
    return QFontMetrics(f).boundingRect(QStringLiteral("Wy")).height();
}

const QBrush& dottedBrush(const QColor& line, const QColor& bg) {
    // The 8 × 8 checkerboard: alternate pixels in the line colour and the background.
    static QBrush brush;
    static QColor lastLine, lastBg;
    if (brush.style() == Qt::NoBrush || lastLine != line || lastBg != bg) {
        QPixmap pm(8, 8);
        QPainter p(&pm);
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) {
                p.setPen((x + y) % 2 ? bg : line);
                p.drawPoint(x, y);
            }
        }
        p.end();
        brush = QBrush(pm);
        lastLine = line;
        lastBg = bg;
    }
    return brush;
}

// Fills a tall rectangle in bands. The raster engine hands fills of more than about a hundred
// lines to helper threads, and waking them costs more than the fill of a thin grid line or of
// the background saves; bands keep every fill on the painting thread.
void fillBands(QPainter& p, const QRect& r, const QBrush& brush) {
    constexpr int kBand = 64;
    for (int y = r.top(); y <= r.bottom(); y += kBand) {
        p.fillRect(QRect(r.left(), y, r.width(), std::min(kBand, r.bottom() + 1 - y)), brush);
    }
}

// Hints of cut-off cells show without the platform's pause.
class NoHintDelayStyle : public QProxyStyle {
  public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* ret) const override {
        if (hint == QStyle::SH_ToolTip_WakeUpDelay) return 0;
        return QProxyStyle::styleHint(hint, option, widget, ret);
    }
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Columns

GridColumn::GridColumn(DBGridEx* grid, QString name) : fieldName(std::move(name)), grid_(grid) {
    title.font = grid->font();
    font = grid->font();
    title.caption = QStringList{fieldName};
}

void GridColumn::setVisible(bool v) {
    if (visible_ == v) return;
    visible_ = v;
    grid_->columnsChanged();
}

void GridColumn::setWidth(int w) {
    if (width_ == w) return;
    width_ = w;
    grid_->columnsChanged();
}

void GridColumn::setCaption(const QStringList& lines) {
    title.caption = lines;
    grid_->columnsChanged();
}

QString GridColumn::captionText() const {
    return title.caption.join(QLatin1Char(','));
}

int GridColumn::field() const {
    data::DataSet* ds = grid_->dataSet();
    if (!ds || !ds->isOpen() || fieldName.isEmpty()) return -1;
    return ds->fieldIndex(toStd(fieldName));
}

// ---------------------------------------------------------------------------------------------
// Construction and binding

DBGridEx::DBGridEx(QWidget* parent) : QAbstractScrollArea(parent) {
    resize(200, 100);
    titleFont = font();
    titleFont.setBold(true);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    auto* hintStyle = new NoHintDelayStyle;
    hintStyle->setParent(this);
    viewport()->setStyle(hintStyle);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    verticalScrollBar()->setTracking(false);
    horizontalScrollBar()->setTracking(false);
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this,
            [this](int a) { guarded([&] { vScrollAction(a); }); });
    connect(verticalScrollBar(), &QScrollBar::sliderReleased, this,
            [this] { guarded([&] { vSliderReleased(); }); });
    connect(horizontalScrollBar(), &QScrollBar::actionTriggered, this,
            [this](int a) { guarded([&] { hScrollAction(a); }); });
    connect(horizontalScrollBar(), &QScrollBar::sliderReleased, this, [this] {
        guarded([&] { setCurrentColumn(horizontalScrollBar()->sliderPosition()); });
    });
    autoSearchTimer_ = new QTimer(this);
    autoSearchTimer_->setSingleShot(true);
    autoSearchTimer_->setTimerType(Qt::PreciseTimer);  // a coarse timer may fire 5 % early
    autoSearchTimer_->setInterval(5000);
    connect(autoSearchTimer_, &QTimer::timeout, this, [this] { clearAutoSearch(); });
    errorSink_ = [](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& ex) {
            std::fprintf(stderr, "%s\n", ex.what());
        } catch (...) {
            std::fprintf(stderr, "unknown error\n");
        }
    };
    question_ = [this](const QString& text, const QString& caption) {
        return QMessageBox::question(this, caption, text, QMessageBox::Yes | QMessageBox::No) ==
               QMessageBox::Yes;
    };
    buildMenus();
    relayout();
}

DBGridEx::~DBGridEx() {
    destroying_ = true;
    if (ds_) ds_->detach(this);
    // The find and filter windows are the grid's even when a form is their parent.
    delete findWindow_.data();
    delete filterWindow_.data();
}

void DBGridEx::reportError(std::exception_ptr e) const {
    if (errorSink_) errorSink_(e);
}

void DBGridEx::setDataSet(data::DataSet* ds) {
    if (ds_ == ds) return;
    discardEditor();
    if (ds_) ds_->detach(this);
    ds_ = ds;
    topRow_ = 0;
    if (ds_) {
        ds_->attach(this);
        activeChanged(*ds_);
    } else {
        relayout();
    }
}

void DBGridEx::activeChanged(data::DataSet& ds) {
    if (ds.isOpen()) {
        if (columns_.empty()) makeDefaultColumns();
        // A freshly opened set may already hide fields; linked columns follow from the start.
        followLinkedFields();
        marks_.clear();
        topRow_ = 0;
        relayout();
        followCursor();
        updateScrollBars();
    } else {
        discardEditor();
        relayout();
    }
    viewport()->update();
}

void DBGridEx::dataSetChanged(data::DataSet&) {
    if (!committing_) discardEditor();
    followLinkedFields();
    followCursor();
    updateScrollBars();
    if (!autoSearching_) clearAutoSearch();
    relayout();
    viewport()->update();
}

// Linked columns take the field's label as caption and its visibility. Hiding a column that is
// current moves the cursor to a visible one, as the keys would.
void DBGridEx::followLinkedFields() {
    if (!ds_ || !ds_->isOpen()) return;
    bool changed = false;
    for (auto& c : columns_) {
        if (!c->linkField) continue;
        const int f = c->field();
        if (f < 0) continue;
        const data::FieldDef& def = ds_->field(f);
        const QStringList caption{utf8(def.label.empty() ? def.name : def.label)};
        if (c->title.caption != caption) {
            c->title.caption = caption;
            changed = true;
        }
        if (c->visible_ != def.visible) {
            c->visible_ = def.visible;
            changed = true;
        }
    }
    if (!changed) return;
    relayout();
    if (currentColumn_ < columnCount() &&
        !columns_[static_cast<size_t>(currentColumn_)]->visible()) {
        const auto g = geoms();
        int to = landingColumn(g, currentColumn_, currentColumn_ + 1);
        if (!g[static_cast<size_t>(to)].visible) to = landingColumn(g, currentColumn_, currentColumn_ - 1);
        if (g[static_cast<size_t>(to)].visible) currentColumn_ = to;
    }
    firstColumn_ = scrollColumnIntoView(geoms(), firstColumn_, currentColumn_,
                                        viewport()->width() - indicatorWidth_);
}

void DBGridEx::scrolled(data::DataSet&) {
    if (!committing_) discardEditor();
    followCursor();
    updateScrollBars();
    viewport()->update();
}

void DBGridEx::recordChanged(data::DataSet&, int) {
    viewport()->update();
}

void DBGridEx::stateChanged(data::DataSet&) {
    viewport()->update();
}

void DBGridEx::makeDefaultColumns() {
    const QFontMetrics fm(font());
    const int zero = fm.horizontalAdvance(QLatin1Char('0'));
    for (int i = 0; i < ds_->fieldCount(); ++i) {
        const data::FieldDef& f = ds_->field(i);
        if (!f.visible) continue;  // hidden fields get no column at all
        auto c = std::make_unique<GridColumn>(this, utf8(f.name));
        c->fieldNameSQL = c->fieldName;
        c->title.caption = QStringList{utf8(f.label.empty() ? f.name : f.label)};
        c->title.frame = TitleFrame::FlatRaised;
        int chars = 10;
        switch (f.kind) {
            case data::FieldKind::Date:
                chars = 10;
                c->columnType = ColumnType::DateTime;
                break;
            case data::FieldKind::DateTime:
                chars = 19;
                c->columnType = ColumnType::DateTime;
                break;
            case data::FieldKind::Memo:
                chars = 10;
                c->columnType = ColumnType::Blob;
                break;
            case data::FieldKind::Text:
                chars = std::clamp(f.size, 1, 64);
                break;
            case data::FieldKind::Float:
                chars = 15;
                c->alignment = Qt::AlignRight;
                break;
            case data::FieldKind::Integer:
                chars = 10;
                c->alignment = Qt::AlignRight;
                break;
            case data::FieldKind::Boolean:
                chars = 5;
                break;
        }
        c->setWidthSilently(std::max(
            chars * zero + 4, QFontMetrics(c->title.font).horizontalAdvance(c->captionText()) + 4));
        columns_.push_back(std::move(c));
    }
}

// ---------------------------------------------------------------------------------------------
// Columns and properties

GridColumn& DBGridEx::addColumn(const QString& fieldName) {
    columns_.push_back(std::make_unique<GridColumn>(this, fieldName));
    columns_.back()->fieldNameSQL = fieldName;
    columnsChanged();
    return *columns_.back();
}

void DBGridEx::removeColumn(int index) {
    if (index < 0 || index >= columnCount()) return;
    discardEditor();
    columns_.erase(columns_.begin() + index);
    currentColumn_ = std::clamp(currentColumn_, 0, std::max(0, columnCount() - 1));
    columnsChanged();
}

void DBGridEx::clearColumns() {
    discardEditor();
    columns_.clear();
    currentColumn_ = firstColumn_ = 0;
    columnsChanged();
}

GridColumn* DBGridEx::findColumn(const QString& fieldName) const {
    for (const auto& c : columns_) {
        if (c->fieldName.compare(fieldName, Qt::CaseInsensitive) == 0) return c.get();
    }
    return nullptr;
}

void DBGridEx::moveColumn(int from, int to) {
    const int n = columnCount();
    if (from < 0 || from >= n) return;
    to = std::clamp(to, 0, n - 1);
    if (from == to) return;
    auto c = std::move(columns_[static_cast<size_t>(from)]);
    columns_.erase(columns_.begin() + from);
    columns_.insert(columns_.begin() + to, std::move(c));
    columnsChanged();
}

void DBGridEx::columnsChanged() {
    if (painting_) return;
    relayout();
    updateScrollBars();
    viewport()->update();
}

void DBGridEx::setOptions(GridOptions o) {
    const bool ownerChanged =
        options_.has(GridOption::StayOnTop) != o.has(GridOption::StayOnTop);
    options_ = o;
    if (ownerChanged) {
        if (findWindow_) applyServiceWindowMode(findWindow_);
        if (filterWindow_) applyServiceWindowMode(filterWindow_);
    }
    relayout();
    if (options_.has(GridOption::FitToWidth)) fitColumnsToWidth(-1);
    viewport()->update();
}

void DBGridEx::setRowHeight(int h) {
    rowHeight_ = std::max(1, h);
    relayout();
    followCursor();
    updateScrollBars();
    viewport()->update();
}

void DBGridEx::setTitle(const QString& t) {
    title_ = t;
    relayout();
    viewport()->update();
}

void DBGridEx::setTitleVisible(bool v) {
    titleVisible_ = v;
    relayout();
    viewport()->update();
}

std::vector<ColumnGeom> DBGridEx::geoms() const {
    std::vector<ColumnGeom> g;
    g.reserve(columns_.size());
    for (const auto& c : columns_)
        g.push_back({c->width(), c->visible()});
    return g;
}

void DBGridEx::relayout() {
    const bool showTitles = options_.has(GridOption::Title);
    std::vector<TitleMetrics> metrics;
    for (const auto& c : columns_) {
        if (c->visible())
            metrics.push_back(
                {static_cast<int>(c->title.caption.size()), textHeight(c->title.font)});
    }
    captionHeight_ = captionLineHeight(showTitles, titleVisible_, textHeight(font()));
    headerHeight_ = captionHeight_ + titleBandHeight(showTitles, !columns_.empty(), metrics);
    indicatorWidth_ = options_.has(GridOption::Indicator) ? kIndicatorWidth : 0;
    statusHeight_ = statusAreaHeight(options_.has(GridOption::StatusLine), sumShown_, rowHeight_);
    // The viewport already leaves out the scroll bars.
    rowFit_ = visibleRows(viewport()->height(), headerHeight_, statusHeight_, 0, rowHeight_);
}

int DBGridEx::rowCount() const {
    if (!ds_ || !ds_->isOpen()) return 0;
    const int n = ds_->recordCount();
    return ds_->state() == data::DataSetState::Insert ? n + 1 : n;
}

void DBGridEx::followCursor() {
    if (!ds_ || !ds_->isOpen()) {
        topRow_ = 0;
        return;
    }
    topRow_ = grid::followCursor(topRow_, std::max(0, ds_->recNo()), rowFit_.buffer, rowCount());
}

// The data set row shown on a line of the list: -2 for the row being inserted (its values are
// the edit buffer), -1 past the end.
int DBGridEx::dataRowOfView(int line) const {
    if (!ds_ || !ds_->isOpen()) return -1;
    if (ds_->state() == data::DataSetState::Insert) {
        const int at = std::max(0, ds_->recNo());
        if (line == at) return -2;
        if (line > at) --line;
    }
    return line < ds_->fetchedCount() ? line : -1;
}

QRect DBGridEx::cellRect(int column, int viewRow) const {
    if (viewRow < 0 || viewRow >= rowFit_.fit) return {};
    for (const PlacedColumn& pc :
         placeColumns(geoms(), firstColumn_, indicatorWidth_, viewport()->width())) {
        if (pc.index != column) continue;
        const int top = headerHeight_ + viewRow * rowHeight_;
        return QRect(QPoint(pc.left + 1, top + 1), QPoint(pc.right - 1, top + rowHeight_ - 1));
    }
    return {};
}

void DBGridEx::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    guarded([&] {
        if (editing()) commitEditor();
        relayout();
        followCursor();
        if (options_.has(GridOption::FitToWidth)) fitColumnsToWidth(-1);
        updateScrollBars();
    });
    viewport()->update();
}

void DBGridEx::fitColumnsToWidth(int fromIndex) {
    const auto widths = fitWidths(
        geoms(), fromIndex, options_.has(GridOption::Indicator) ? kIndicatorWidth : 0,
        verticalScrollBar()->sizeHint().width(), width());  // the whole control, bar included
    for (size_t i = 0; i < widths.size(); ++i)
        columns_[i]->setWidthSilently(widths[i]);
    relayout();
    viewport()->update();
}

void DBGridEx::updateScrollBars() {
    QScrollBar* v = verticalScrollBar();
    const QSignalBlocker bv(v);
    if (ds_ && ds_->isOpen() && !ds_->isSequenced()) {
        // A set that cannot tell record numbers gets a five-step bar: start, page up, middle,
        // page down, end. Asking for its record count could mean reading all of it.
        if (v->minimum() != 0 || v->maximum() != 4) v->setRange(0, 4);
        if (v->pageStep() != 0) v->setPageStep(0);
        const int pos = ds_->bof() ? 0 : ds_->eof() ? 4 : 2;
        // A released thumb may rest on a step the value already had; put it back as well.
        if (v->value() != pos) v->setValue(pos);
        if (v->sliderPosition() != pos) v->setSliderPosition(pos);
    } else if (ds_ && ds_->isOpen()) {
        const int count = ds_->recordCount();
        const int rows = std::max(1, rowFit_.fit);
        if (v->minimum() != 1 || v->maximum() != std::max(1, count))
            v->setRange(1, std::max(1, count));
        if (v->pageStep() != rows) v->setPageStep(rows);
        if (ds_->state() == data::DataSetState::Browse ||
            ds_->state() == data::DataSetState::Edit) {
            if (v->value() != ds_->recNo() + 1) v->setValue(ds_->recNo() + 1);
        }
    } else {
        v->setRange(0, 0);
    }
    QScrollBar* h = horizontalScrollBar();
    const QSignalBlocker bh(h);
    h->setRange(0, std::max(0, columnCount() - 1));
    h->setPageStep(1);
    h->setValue(currentColumn_);
}

// ---------------------------------------------------------------------------------------------
// Find and filter windows

QWidget* DBGridEx::serviceWindowOwner() const {
    if (!options_.has(GridOption::StayOnTop)) return nullptr;
    QWidget* form = window();
    return form == this ? nullptr : form;
}

void DBGridEx::applyServiceWindowMode(QWidget* w) {
    const bool shown = w->isVisible();
    if (QWidget* owner = serviceWindowOwner()) {
        // A tool window of the form stays above it and leaves the grid usable.
        w->setParent(owner, Qt::Tool);
        w->setWindowModality(Qt::NonModal);
    } else {
        QWidget* form = window();
        w->setParent(form == this ? nullptr : form, Qt::Dialog);
        w->setWindowModality(Qt::ApplicationModal);
    }
    if (shown) w->show();  // re-parenting hides a window
}

void DBGridEx::attachServiceWindow(ServiceWindow kind, QWidget* w) {
    QPointer<QWidget>& slot = kind == ServiceWindow::Find ? findWindow_ : filterWindow_;
    if (slot == w) return;
    delete slot.data();
    slot = w;
    if (w) applyServiceWindowMode(w);
    viewport()->update();  // a modeless find window changes how the current row is painted
}

QWidget* DBGridEx::serviceWindow(ServiceWindow kind) const {
    return kind == ServiceWindow::Find ? findWindow_.data() : filterWindow_.data();
}

void DBGridEx::showServiceWindow(ServiceWindow kind) {
    QWidget* w = serviceWindow(kind);
    if (!w) return;
    if (w->windowModality() == Qt::NonModal) {
        w->show();
        w->raise();
        w->activateWindow();
    } else if (auto* dlg = qobject_cast<QDialog*>(w)) {
        dlg->exec();
    } else {
        w->show();
    }
    viewport()->update();
}

// While a modeless find window exists the found record stays highlighted although the focus is
// in that window.
bool DBGridEx::hasModelessFindWindow() const {
    return findWindow_ && findWindow_->windowModality() == Qt::NonModal;
}

// ---------------------------------------------------------------------------------------------
// Record and column cursor

void DBGridEx::setCurrentColumn(int index) {
    if (columns_.empty()) return;
    const auto g = geoms();
    const int landed = landingColumn(g, currentColumn_, index);
    currentColumn_ = std::clamp(landed, 0, columnCount() - 1);
    firstColumn_ = scrollColumnIntoView(g, firstColumn_, currentColumn_,
                                        viewport()->width() - indicatorWidth_);
    updateScrollBars();
    viewport()->update();
    if (onCellEnter) onCellEnter(columns_[static_cast<size_t>(currentColumn_)].get());
}

void DBGridEx::moveRecord(int delta) {
    if (!ds_ || !ds_->isOpen()) return;
    if (!firstMoveDone_) {
        firstMoveDone_ = true;
        // The first upward move of a grid's life first steps down and back, so that the data
        // link's buffer is filled around the record; it steps back only when it did step down,
        // so that at the last record the move is still exactly one.
        if (delta < 0 && ds_->moveBy(1) != 0) ds_->moveBy(-1);
    }
    ds_->moveBy(delta);
    if (onCellEnter && !columns_.empty())
        onCellEnter(columns_[static_cast<size_t>(currentColumn_)].get());
}

// ---------------------------------------------------------------------------------------------
// Marks, deletion, insertion

void DBGridEx::selectAllRecords() {
    if (!options_.has(GridOption::MultiSelect) || !ds_ || !ds_->isOpen()) return;
    popups::ProgressScope progress(QStringLiteral("Выполняется отметка записей ..."), this);
    {
        WalkGuard walk(*ds_);
        ds_->first();
        while (!ds_->isEmpty()) {
            bool can = true;
            if (onCanMultiSelect) onCanMultiSelect(can);
            if (can) marks_.select(ds_->bookmark(), true);
            if (ds_->moveBy(1) == 0) break;
        }
    }
    viewport()->update();
}

bool DBGridEx::deleteRecord() {
    if (!options_.has(GridOption::Delete) || !ds_ || !ds_->isOpen() || ds_->isEmpty()) return false;
    if (!question_(QStringLiteral("Вы действительно хотите удалить текущую запись ?"),
                   QStringLiteral("Внимание !"))) {
        return false;
    }
    for (auto& c : columns_) {
        const int f = c->field();
        if (c->calcSum && f >= 0) c->sumValue -= ds_->value(f).toDouble();
    }
    marks_.select(ds_->bookmark(), false);
    ds_->remove();
    viewport()->update();
    return true;
}

bool DBGridEx::insertRecord() {
    if (!options_.has(GridOption::Insert) || !ds_ || !ds_->isOpen()) return false;
    discardEditor();
    ds_->insert();
    if (options_.has(GridOption::PostAfterInsert) && ds_->state() != data::DataSetState::Browse) {
        ds_->post();
    }
    followCursor();
    viewport()->update();
    return true;
}

// ---------------------------------------------------------------------------------------------
// Auto-search and record search

void DBGridEx::autoSearch(const QString& text) {
    if (autoSearching_ || !ds_ || !ds_->isOpen() || ds_->isEmpty()) return;
    if (text.isEmpty()) {
        clearAutoSearch();
        return;
    }
    autoSearching_ = true;
    struct Reset {
        DBGridEx* g;
        ~Reset() {
            g->autoSearching_ = false;
            g->viewport()->unsetCursor();
        }
    } reset{this};
    const QString candidate = autoSearchText_ + text;
    QString fieldName;
    if (!autoSearchingField.isEmpty()) {
        fieldName = autoSearchingField;
        for (int i = 0; i < columnCount(); ++i) {
            if (columns_[static_cast<size_t>(i)]->fieldName.compare(fieldName,
                                                                    Qt::CaseInsensitive) == 0) {
                if (i != currentColumn_) setCurrentColumn(i);
                break;
            }
        }
    } else if (currentColumn_ < columnCount()) {
        fieldName = columns_[static_cast<size_t>(currentColumn_)]->fieldName;
    }
    if (fieldName.isEmpty()) return;
    viewport()->setCursor(Qt::WaitCursor);
    if (onBeforeAutoSearching) onBeforeAutoSearching();
    if (findRecord({fieldName}, kSearchPrefix, true, true, {candidate})) {
        autoSearchText_ = candidate;
    } else {
        QApplication::beep();
    }
    autoSearchTimer_->start();
    viewport()->update();
    if (onAfterAutoSearching) onAfterAutoSearching();
}

void DBGridEx::clearAutoSearch() {
    autoSearchTimer_->stop();
    if (autoSearchText_.isEmpty()) return;
    autoSearchText_.clear();
    viewport()->update();
}

bool DBGridEx::findRecord(const QStringList& fieldNames, unsigned opts, bool fromFirst,
                          bool newSearch, const QStringList& values) {
    if (!ds_ || !ds_->isOpen()) return false;
    std::vector<std::string> names, vals;
    for (const QString& n : fieldNames)
        names.push_back(toStd(n));
    for (const QString& v : values)
        vals.push_back(toStd(v));
    const int top = topRow_;
    const bool found =
        grid::findRecord(*ds_, names, opts, fromFirst, newSearch, vals, rowFit_.buffer);
    if (found) {
        topRow_ = centreOn(top, ds_->recNo(), rowFit_.buffer, rowCount());
        updateScrollBars();
        viewport()->update();
    }
    return found;
}

// ---------------------------------------------------------------------------------------------
// Painting

QString DBGridEx::cellTextAt(const GridColumn& c, int f, int row) const {
    if (f < 0 || row == -1) return {};
    const bool buffer =
        row == -2 || (row == ds_->recNo() && ds_->state() != data::DataSetState::Browse);
    const data::FieldDef& def = ds_->field(f);
    if (c.columnType == ColumnType::PickList) {
        const data::Value& v = buffer ? ds_->value(f) : ds_->valueAt(row, f);
        return utf8(c.pickList.displayFor(v.toText()));
    }
    if (def.kind == data::FieldKind::Memo && c.columnType != ColumnType::Blob) {
        const data::Value& v = buffer ? ds_->value(f) : ds_->valueAt(row, f);
        return utf8(v.toText());
    }
    return utf8(buffer ? ds_->displayText(f) : ds_->displayTextAt(row, f));
}

QString DBGridEx::cellText(const GridColumn& c, int row) const {
    return cellTextAt(c, c.field(), row);
}

QString DBGridEx::statusText() const {
    switch (drag_) {
        case Drag::ColumnResize: {
            if (dragColumn_ < 0 || dragColumn_ >= columnCount()) break;
            const GridColumn& c = *columns_[static_cast<size_t>(dragColumn_)];
            return utf8(columnResizeStatus(toStd(c.captionText()), c.width(), !c.visible()));
        }
        case Drag::RowResize:
            return utf8(rowResizeStatus(dragHeight_));
        case Drag::ColumnMove:
            if (dragColumn_ >= 0 && dragColumn_ < columnCount()) {
                return utf8(columnMoveStatus(
                    toStd(columns_[static_cast<size_t>(dragColumn_)]->captionText())));
            }
            break;
        default:
            break;
    }
    if (ds_ && ds_->isOpen()) return utf8(recordCountStatus(ds_->recordCount()));
    return {};
}

void DBGridEx::drawFrame(QPainter& p, const QRect& r, TitleFrame f, const QColor& ultraFlatColor) {
    QPalette pal;
    pal.setColor(QPalette::Light, Qt::white);
    pal.setColor(QPalette::Midlight, colors::kButtonFace);
    pal.setColor(QPalette::Mid, colors::kButtonShadow);
    pal.setColor(QPalette::Dark, QColor(105, 105, 105));
    pal.setColor(QPalette::Shadow, QColor(105, 105, 105));
    pal.setColor(QPalette::Button, colors::kButtonFace);
    switch (f) {
        case TitleFrame::UltraFlat:
            p.setPen(ultraFlatColor);
            p.setBrush(Qt::NoBrush);
            p.drawRect(r.adjusted(0, 0, -1, -1));
            break;
        case TitleFrame::FlatRaised:
            qDrawShadePanel(&p, r, pal, false, 1);
            break;
        case TitleFrame::FlatLowered:
            qDrawShadePanel(&p, r, pal, true, 1);
            break;
        case TitleFrame::Raised:
            qDrawWinPanel(&p, r, pal, false);
            break;
        case TitleFrame::Lowered:
            qDrawWinPanel(&p, r, pal, true);
            break;
        case TitleFrame::Framed:
            p.setBrush(Qt::NoBrush);
            p.setPen(colors::kButtonShadow);
            p.drawRect(r.adjusted(0, 0, -2, -2));
            p.setPen(Qt::white);
            p.drawRect(r.adjusted(1, 1, -1, -1));
            break;
        case TitleFrame::None:
            break;
    }
}

void DBGridEx::paintEvent(QPaintEvent*) {
    if (painting_) return;
    painting_ = true;
    struct Done {
        bool& f;
        ~Done() { f = false; }
    } done{painting_};
    QPainter p(viewport());
    const int w = viewport()->width();
    fillBands(p, viewport()->rect(), bgColor);
    const auto placed = placeColumns(geoms(), firstColumn_, indicatorWidth_, w);
    if (options_.has(GridOption::Title)) paintTitles(p, placed);
    int lastRowBottom = headerHeight_;
    try {
        if (ds_ && ds_->isOpen() && !columns_.empty() && rowFit_.fit > 0)
            paintRows(p, placed, lastRowBottom);
        paintLines(p, placed, lastRowBottom);
        paintDragFeedback(p, placed, lastRowBottom);
        if (options_.has(GridOption::StatusLine)) paintStatus(p);
    } catch (...) {
        // A host's draw handler or the data set (fetching rows to count them) failed: report it
        // once the paint is over, never from inside it.
        auto e = std::current_exception();
        QTimer::singleShot(0, this, [this, e] { reportError(e); });
    }
}

void DBGridEx::paintDragFeedback(QPainter& p, const std::vector<PlacedColumn>& placed,
                                 int lastRowBottom) {
    p.setPen(QPen(Qt::black, 2));
    if (drag_ == Drag::ColumnResize && dragColumn_ >= 0) {
        for (const PlacedColumn& pc : placed) {
            if (pc.index == dragColumn_)
                p.drawLine(pc.right, captionHeight_, pc.right, lastRowBottom);
        }
    } else if (drag_ == Drag::ColumnMove && dragTarget_ >= 0) {
        for (const PlacedColumn& pc : placed) {
            if (pc.index == dragTarget_)
                p.drawLine(pc.left, captionHeight_, pc.left, lastRowBottom);
        }
    } else if (drag_ == Drag::RowResize) {
        const int w = viewport()->width();
        p.drawLine(0, dragRowTop_, w, dragRowTop_);
        p.drawLine(0, dragRowTop_ + dragHeight_, w, dragRowTop_ + dragHeight_);
    }
}

void DBGridEx::paintTitles(QPainter& p, const std::vector<PlacedColumn>& placed) {
    const int w = viewport()->width();
    if (captionHeight_ > 0) {
        const QRect r(0, 0, w, captionHeight_);
        p.fillRect(r, titleColor);
        drawFrame(p, r, indicatorStyle.frame, colors::kButtonShadow);
        p.setFont(titleFont);
        p.setPen(Qt::black);
        p.drawText(r.adjusted(4, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   title_);
    }
    const int band = headerHeight_ - captionHeight_;
    if (indicatorWidth_ > 0) {
        const QRect r(0, captionHeight_, indicatorWidth_, band);
        p.fillRect(r, indicatorStyle.color);
        drawFrame(p, r, indicatorStyle.frame, colors::kButtonShadow);
    }
    for (const PlacedColumn& pc : placed) {
        GridColumn& c = *columns_[static_cast<size_t>(pc.index)];
        const QRect r(QPoint(pc.left, captionHeight_), QPoint(pc.right, headerHeight_ - 1));
        const bool pressed = drag_ == Drag::TitlePressed && dragColumn_ == pc.index;
        p.fillRect(r, c.title.color);
        if (pressed) {
            if (c.title.frame == TitleFrame::UltraFlat) {
                p.fillRect(r, colors::kButtonShadow);
            } else {
                drawFrame(p, r, TitleFrame::Lowered, bgColor);
            }
        } else {
            drawFrame(p, r, c.title.frame, bgColor);
        }
        QRect tr = r.adjusted(6, 4, -3, -3);
        const bool sortRoom = sorted && c.activeSort;
        const QPixmap& glyph =
            gridBitmap(c.sortTopToBottom ? GridBitmap::SortDec : GridBitmap::SortInc);
        if (sortRoom) tr.setRight(tr.right() - glyph.width() - 2);
        p.setFont(c.title.font);
        p.setPen(Qt::black);
        if (c.title.caption.size() <= 1) {
            int v = Qt::AlignVCenter;
            if (c.title.vertAlignment == VertAlignment::Top) v = Qt::AlignTop;
            if (c.title.vertAlignment == VertAlignment::Bottom) v = Qt::AlignBottom;
            drawLine(p, c.titleCache_, c.title.font, tr,
                     (c.title.alignment & Qt::AlignHorizontal_Mask) | Qt::Alignment(v),
                     c.title.caption.value(0));
        } else {
            p.drawText(
                tr,
                int(c.title.alignment & Qt::AlignHorizontal_Mask) | Qt::AlignTop | Qt::TextWordWrap,
                c.title.caption.join(QLatin1Char('\n')));
        }
        if (sortRoom && c.sortOrder > 0) {
            p.drawPixmap(tr.right() + 2, r.center().y() - glyph.height() / 2, glyph);
        }
    }
}

void DBGridEx::paintRows(QPainter& p, const std::vector<PlacedColumn>& placed, int& lastRowBottom) {
    const int total = rowCount();
    const bool hasRecords = total > 0;
    const int rows = hasRecords ? std::min(rowFit_.fit, total - topRow_) : 1;
    const int active = ds_->recNo();
    const bool editingState = ds_->state() != data::DataSetState::Browse;
    fillBands(p, QRect(0, headerHeight_, indicatorWidth_, rows * rowHeight_), indicatorStyle.color);
    // Fields are looked up by name once per paint, not once per cell.
    std::vector<int> fields;
    fields.reserve(placed.size());
    for (const PlacedColumn& pc : placed)
        fields.push_back(columns_[static_cast<size_t>(pc.index)]->field());
    // Stripes follow record numbers, so they stay with the records while the list scrolls.
    bool odd = (topRow_ + 1) % 2 == 1;
    for (int r = 0; r < rows; ++r) {
        const int line = topRow_ + r;
        const int row = hasRecords ? dataRowOfView(line) : -1;
        // An empty data set still shows its one (empty) row as the current one.
        const bool isActive = !hasRecords || line == active;
        const bool marked = hasRecords && row >= 0 && marks_.isSelected(ds_->bookmarkAt(row));
        const int top = headerHeight_ + r * rowHeight_;
        if (indicatorWidth_ > 0) {
            const QRect ir(0, top, indicatorWidth_, rowHeight_);
            drawFrame(p, ir, indicatorStyle.frame, colors::kButtonShadow);
            if (isActive) {
                const QPixmap& pm =
                    gridBitmap(editingState ? GridBitmap::EditRec : GridBitmap::ActiveRec);
                p.drawPixmap(ir.center().x() - pm.width() / 2 + 1,
                             ir.center().y() - pm.height() / 2 + 1, pm);
            }
        }
        for (size_t k = 0; k < placed.size(); ++k) {
            const PlacedColumn& pc = placed[k];
            const QRect cr(QPoint(pc.left + 1, top + 1),
                           QPoint(pc.right - 1, top + rowHeight_ - 1));
            paintCell(p, *columns_[static_cast<size_t>(pc.index)], fields[k], cr, row, isActive,
                      marked, odd, hasRecords);
        }
        odd = !odd;
        lastRowBottom = top + rowHeight_;
    }
}

// `row` is the data set row (-2: the row being inserted).
void DBGridEx::paintCell(QPainter& p, GridColumn& c, int f, const QRect& rect, int row, bool active,
                         bool marked, bool odd, bool hasRecords) {
    const bool hasFocus = this->hasFocus() || editing();
    const bool focusedCell =
        active && hasFocus && columns_[static_cast<size_t>(currentColumn_)].get() == &c;
    CellLook look;
    look.row = row;
    look.font = c.font;
    look.imageIndex = c.imageIndex;
    look.text = hasRecords ? cellTextAt(c, f, row) : QString();
    if (hasRecords && onDrawColumnData) onDrawColumnData(c, look);

    if (onCustomDrawCell) {
        onCustomDrawCell(p, c, CellDrawState{focusedCell, active}, marked, look.text, rect);
        return;
    }
    QRect textArea = rect;
    QColor brush;
    const bool rowSelect = options_.has(GridOption::RowSelect);
    if (focusedCell) {
        brush = options_.has(GridOption::ColumnColorInSelCell) ? c.color : colors::kWindow;
    } else if (active && rowSelect) {
        brush = hasFocus || hasModelessFindWindow() ? selectColor : colors::kButtonFace;
    } else if (marked) {
        brush = selectColor;
    } else if (c.color == colors::kWindow && striped.active) {
        brush = odd ? striped.stripedColor : striped.color;
    } else {
        brush = c.color;
    }
    if (look.background.isValid()) brush = look.background;
    if (brush != colors::kWindow) p.fillRect(rect, brush);
    if (focusedCell) {
        p.setPen(selectColor);
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect.adjusted(0, 0, -1, -1));
        textArea.adjust(1, 1, -1, -1);
    }
    if (!hasRecords) return;

    if (c.columnType == ColumnType::CheckBox) {
        const bool checked = look.text == c.checkBoxValueTrue;
        const int idx = checked ? c.imageIndexCheck : c.imageIndexUnCheck;
        const QPixmap& pm =
            idx >= 0 && idx < static_cast<int>(images.size())
                ? images[static_cast<size_t>(idx)]
                : gridBitmap(checked ? GridBitmap::CheckBox : GridBitmap::UnCheckBox);
        p.drawPixmap(rect.center().x() - pm.width() / 2 + 1,
                     rect.center().y() - pm.height() / 2 + 1, pm);
        return;
    }
    textArea.adjust(3, 0, -3, 0);
    if (look.imageIndex >= 0 && look.imageIndex < static_cast<int>(images.size())) {
        const QPixmap& pm = images[static_cast<size_t>(look.imageIndex)];
        p.drawPixmap(textArea.left(), rect.center().y() - pm.height() / 2 + 1, pm);
        textArea.setLeft(textArea.left() + pm.width() + 3);
    }
    if (p.font() != look.font) p.setFont(look.font);
    QColor pen = Qt::black;
    if ((active || marked) && !focusedCell && rowSelect && (hasFocus || hasModelessFindWindow()))
        pen = selectTextColor;
    if (look.textColor.isValid()) pen = look.textColor;
    p.setPen(pen);
    const Qt::Alignment h = c.alignment & Qt::AlignHorizontal_Mask;
    const bool highlight =
        !autoSearchText_.isEmpty() && active &&
        (autoSearchingField.isEmpty()
             ? focusedCell
             : c.fieldName.compare(autoSearchingField, Qt::CaseInsensitive) == 0);
    if (highlight) {
        const int w = p.fontMetrics().horizontalAdvance(look.text.left(autoSearchText_.size())) + 3;
        p.fillRect(QRect(textArea.left() - 2, rect.top(), w, rect.height() - 2), Qt::yellow);
    } else if (c.columnType == ColumnType::Blob) {
        p.drawText(textArea, int(h) | Qt::AlignTop | Qt::TextWordWrap, look.text);
        return;
    }
    drawLine(p, c.textCache_, c.font, textArea, h | Qt::AlignVCenter, look.text);
}

// One line of text, cut at the rectangle's edges. Shaping text is the bulk of a paint, so each
// column keeps the shaped texts it drew recently in its cell font (a repaint of the same rows
// shapes nothing) and its title; a text is shaped once even when it is measured for alignment.
void DBGridEx::drawLine(QPainter& p, QHash<QString, QStaticText>& cache, const QFont& cacheFont,
                        const QRect& r, Qt::Alignment align, const QString& text) {
    if (text.isEmpty() || r.width() <= 0) return;
    QStaticText local;
    const QStaticText* st = &local;
    if (p.font() == cacheFont) {
        if (cache.size() > 4096) cache.clear();
        auto it = cache.find(text);
        if (it == cache.end()) {
            QStaticText s(text);
            s.setTextFormat(Qt::PlainText);
            s.prepare(QTransform(), cacheFont);
            it = cache.insert(text, s);
        }
        st = &it.value();
    } else {
        local.setText(text);
        local.setTextFormat(Qt::PlainText);
        local.prepare(QTransform(), p.font());
    }
    const QSizeF size = st->size();
    const int w = qCeil(size.width());
    const int hgt = qRound(size.height());
    int y = r.top() + (r.height() - hgt) / 2;
    if (align & Qt::AlignTop) y = r.top();
    if (align & Qt::AlignBottom) y = r.bottom() + 1 - hgt;
    int x = r.left();
    if (align & Qt::AlignRight) x = r.right() + 1 - w;
    if (align & Qt::AlignHCenter) x = r.left() + (r.width() - w) / 2;
    if (w > r.width() || hgt > r.height()) {
        p.save();
        p.setClipRect(r, Qt::IntersectClip);
        p.drawStaticText(QPoint(align & Qt::AlignRight ? x : std::max(x, r.left()), y), *st);
        p.restore();
    } else {
        p.drawStaticText(QPoint(x, y), *st);
    }
}

void DBGridEx::paintLines(QPainter& p, const std::vector<PlacedColumn>& placed, int lastRowBottom) {
    if (gridLineStyle == LineStyle::None || placed.empty()) return;
    const QBrush brush = gridLineStyle == LineStyle::Dotted ? dottedBrush(gridLineColor, bgColor)
                                                            : QBrush(gridLineColor);
    const int right = placed.back().right;
    if (options_.has(GridOption::RowLines)) {
        for (int y = headerHeight_; y < lastRowBottom; y += rowHeight_) {
            p.fillRect(QRect(indicatorWidth_, y, right - indicatorWidth_ + 1, 1), brush);
        }
    }
    if (options_.has(GridOption::ColLines)) {
        for (const PlacedColumn& pc : placed) {
            fillBands(p, QRect(pc.left, headerHeight_, 1, lastRowBottom - headerHeight_), brush);
        }
    }
}

void DBGridEx::paintStatus(QPainter& p) {
    const int w = viewport()->width();
    const int h = viewport()->height();
    const QRect area(0, h - statusHeight_, w, statusHeight_);
    p.fillRect(area, colors::kButtonFace);
    QPalette pal;
    pal.setColor(QPalette::Light, Qt::white);
    pal.setColor(QPalette::Dark, colors::kButtonShadow);
    pal.setColor(QPalette::Mid, colors::kButtonShadow);
    const QRect line(0, h - rowHeight_, w, rowHeight_);
    qDrawShadePanel(&p, line, pal, true, 1);
    p.setPen(Qt::black);
    p.setFont(font());
    p.drawText(line.adjusted(4, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
               statusText());
    if (!sumShown_) return;
    const QRect sums(0, h - 2 * rowHeight_, w, rowHeight_);
    qDrawShadePanel(&p, sums, pal, true, 1);
    const text::FormatSettings& fs = ds_ ? ds_->formatSettings() : text::FormatSettings::russian();
    for (const PlacedColumn& pc : placeColumns(geoms(), firstColumn_, indicatorWidth_, w)) {
        const GridColumn& c = *columns_[static_cast<size_t>(pc.index)];
        const QRect box(QPoint(pc.left, sums.top() + 1), QPoint(pc.right, sums.bottom() - 1));
        qDrawShadePanel(&p, box, pal, true, 1);
        if (c.calcSum) {
            p.drawText(box.adjusted(3, 0, -3, 0),
                       Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine,
                       utf8(fs.formatFixed(c.sumValue, 2)));
        }
    }
}

void DBGridEx::setSumLineShown(bool on) {
    if (sumShown_ == on) return;
    sumShown_ = on;
    relayout();
    followCursor();
    updateScrollBars();
    viewport()->update();
}

}  // namespace zentra::grid
