// DBGridEx: the data grid of every list of the client. A custom-painted scroll area bound to a
// data set through a data link: its scroll bars move the record and column cursors rather than
// pixels, the geometry is pinned to the pixel (layout.h), and it edits cells in place with
// drop-downs (pick list, calendar, host buttons), marks records, deletes and inserts, and
// searches as the user types.
#pragma once

#include <QAbstractScrollArea>
#include <QColor>
#include <QFont>
#include <QHash>
#include <QPixmap>
#include <QPointer>
#include <QStaticText>
#include <QStringList>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include "dataset.h"
#include "layout.h"
#include "marks.h"
#include "pick_list.h"

class QMenu;
class QMimeData;
class QAction;
class QTimer;
class QToolButton;

namespace zentra::grid {

class DBGridEx;
class InplaceEdit;

enum class ColumnType { Text, MaskText, DateTime, CheckBox, PickList, Blob };
enum class EditButtonStyle { None, DropDown, Ellipsis, Window };
enum class TitleFrame { UltraFlat, FlatRaised, FlatLowered, Raised, Lowered, Framed, None };
enum class VertAlignment { Center, Top, Bottom };
enum class LineStyle { Dotted, Solid, None };

// Colours of the classic desktop scheme the grid's looks are defined in. Fixed rather than taken
// from the platform style, so the grid looks the same everywhere.
namespace colors {
inline const QColor kWindow(255, 255, 255);
inline const QColor kButtonFace(240, 240, 240);
inline const QColor kButtonShadow(160, 160, 160);
inline const QColor kHighlight(0, 120, 215);
inline const QColor kHighlightText(255, 255, 255);
inline const QColor kStriped(225, 244, 255);
}  // namespace colors

struct ColumnTitle {
    Qt::Alignment alignment = Qt::AlignLeft;
    VertAlignment vertAlignment = VertAlignment::Center;
    QStringList caption;  // one entry per title line
    QColor color = colors::kButtonFace;
    QFont font;
    TitleFrame frame = TitleFrame::UltraFlat;
};

// One column. Setting Visible, Width or the caption re-lays-out the grid; after changing other
// looks call DBGridEx::update().
class GridColumn {
  public:
    explicit GridColumn(DBGridEx* grid, QString fieldName = {});

    QString fieldName;
    QString fieldNameSQL;  // empty: fieldName
    bool readOnly = false;
    ColumnTitle title;
    Qt::Alignment alignment = Qt::AlignLeft;
    QColor color = colors::kWindow;  // striping applies only to window-coloured columns
    ColumnType columnType = ColumnType::Text;
    QString editMask;  // input mask of ctMaskText columns
    int imageIndex = -1;
    int imageIndexCheck = -1, imageIndexUnCheck = -1;
    QFont font;
    bool linkField = false;
    EditButtonStyle buttonStyle = EditButtonStyle::None;
    PickList pickList;
    int pickListDropDownMax = 7;
    bool activeFind = true, activeFilter = true, activeSort = true;
    int sortOrder = -1;
    bool sortTopToBottom = true;
    QString checkBoxValueTrue = QStringLiteral("1");
    QString checkBoxValueFalse = QStringLiteral("0");
    bool calcSum = false;
    double sumValue = 0;

    bool visible() const { return visible_; }
    void setVisible(bool v);
    int width() const { return width_; }
    void setWidth(int w);
    void setWidthSilently(int w) { width_ = w; }  // the grid's own re-scaling; no re-layout
    void setCaption(const QStringList& lines);
    // The caption lines joined with commas, as the status line names the column.
    QString captionText() const;
    // Index of the bound field in the grid's data set (looked up by name each time), or -1.
    int field() const;
    DBGridEx* grid() const { return grid_; }

  private:
    friend class DBGridEx;
    DBGridEx* grid_;
    bool visible_ = true;
    QHash<QString, QStaticText> textCache_;
    QHash<QString, QStaticText> titleCache_;  // shaped cell texts in `font`; see DBGridEx::drawLine
    int width_ = kDefaultColumnWidth;
};

// What a host may change about one cell before it is drawn.
struct CellLook {
    int row = -1;  // the data set row being painted (DataSet::valueAt reads its values)
    QString text;
    QFont font;
    QColor textColor;   // invalid: the grid's choice
    QColor background;  // invalid: the grid's choice
    int imageIndex = -1;
};

struct CellDrawState {
    bool focused = false;
    bool selected = false;
};

class DBGridEx : public QAbstractScrollArea, private data::DataLink {
    Q_OBJECT

  public:
    explicit DBGridEx(QWidget* parent = nullptr);
    ~DBGridEx() override;

    // Binding.
    void setDataSet(data::DataSet* ds);
    data::DataSet* dataSet() const { return ds_; }

    // Columns.
    GridColumn& addColumn(const QString& fieldName);
    void removeColumn(int index);
    void clearColumns();
    int columnCount() const { return static_cast<int>(columns_.size()); }
    GridColumn& column(int index) { return *columns_.at(static_cast<size_t>(index)); }
    GridColumn* findColumn(const QString& fieldName) const;
    void moveColumn(int from, int to);
    void columnsChanged();  // re-layout after column changes

    // Properties.
    GridOptions options() const { return options_; }
    void setOptions(GridOptions o);
    void setOption(GridOption o, bool on) { setOptions(GridOptions(options_).set(o, on)); }
    int rowHeight() const { return rowHeight_; }
    void setRowHeight(int h);
    QString title() const { return title_; }
    void setTitle(const QString& t);
    bool titleVisible() const { return titleVisible_; }
    void setTitleVisible(bool v);
    QFont titleFont;
    QColor titleColor = colors::kButtonFace;
    QColor bgColor = colors::kWindow;
    QColor selectColor = colors::kHighlight;
    QColor selectTextColor = colors::kHighlightText;
    struct Striped {
        bool active = false;
        QColor stripedColor = colors::kStriped;
        QColor color = colors::kWindow;
    } striped;
    struct Indicator {
        QColor color = colors::kButtonFace;
        TitleFrame frame = TitleFrame::FlatRaised;
    } indicatorStyle;
    bool readOnly = false;
    // Moving the mouse over the data with the left button down starts a drag and drop of the
    // current record once the pointer has gone the platform's drag distance.
    bool autoDrag = false;
    std::vector<QPixmap> images;
    bool sorted = false;
    QString autoSearchingField;
    LineStyle gridLineStyle = LineStyle::Dotted;
    QColor gridLineColor = colors::kButtonShadow;
    // Host actions appended to the context menu; a null entry is a separator.
    std::vector<QAction*> popupActions;

    // Events.
    std::function<void()> onShowPopupMenu;
    std::function<void(GridColumn&, CellLook&)> onDrawColumnData;
    std::function<void(QPainter&, GridColumn&, CellDrawState, bool marked, const QString& text,
                       const QRect&)>
        onCustomDrawCell;
    std::function<void(GridColumn&, QPoint screenPos, QPoint selfPos)> onEditButtonClick;
    std::function<void(GridColumn*)> onCellEnter;
    std::function<void(bool& canSelect)> onCanMultiSelect;
    std::function<void()> onBeforeAutoSearching, onAfterAutoSearching;

    // Where errors raised inside event handling go (the application connects its reporter);
    // by default they are written to stderr. Exceptions never unwind through Qt's event loop.
    using ErrorSink = std::function<void(std::exception_ptr)>;
    void setErrorSink(ErrorSink sink) { errorSink_ = std::move(sink); }
    void reportError(std::exception_ptr e) const;
    // Asks a yes/no question (default: a message box); tests answer it without a dialog.
    using Question = std::function<bool(const QString& text, const QString& caption)>;
    void setQuestion(Question q) { question_ = std::move(q); }
    // Runs the drag and drop that autoDrag starts, given what is dragged (default: a QDrag with
    // copy and move actions); tests record it instead of entering the platform's drag loop.
    using DragStarter = std::function<void(QMimeData*)>;
    void setDragStarter(DragStarter d) { dragStarter_ = std::move(d); }
    // The MIME type of a dragged record: its bookmark as decimal text. The text form of the drag
    // is the current cell's text.
    static QString recordMimeType() { return QStringLiteral("application/x-zentra-grid-record"); }

    // The find and filter windows of the grid services belong to the grid (made at first use,
    // freed with it). With goStayOnTop and a form around the grid they are modeless tool windows
    // owned by that form, so the user can keep searching while working in the grid; otherwise
    // they are modal. Changing the options re-applies this to the windows already attached.
    enum class ServiceWindow { Find, Filter };
    void attachServiceWindow(ServiceWindow kind, QWidget* w);
    QWidget* serviceWindow(ServiceWindow kind) const;
    // The form that owns the modeless windows, or null when they are modal.
    QWidget* serviceWindowOwner() const;
    // Shows an attached window: modeless ones are shown and raised, modal ones run modally.
    void showServiceWindow(ServiceWindow kind);

    // Operations.
    int currentColumn() const { return currentColumn_; }
    void setCurrentColumn(int index);
    int firstDisplayedColumn() const { return firstColumn_; }
    void moveRecord(int delta);
    void setEditing(bool on);
    bool editing() const;
    InplaceEdit* editor() const { return editor_; }
    QToolButton* editorButton() const { return button_; }
    void fitColumnsToWidth(int fromIndex);
    void updateScrollBars();
    void selectAllRecords();
    bool deleteRecord();
    bool insertRecord();
    void autoSearch(const QString& text);
    void clearAutoSearch();
    QString autoSearchText() const { return autoSearchText_; }
    bool findRecord(const QStringList& fieldNames, unsigned options, bool fromFirst, bool newSearch,
                    const QStringList& values);

    // The line of column sums above the record count. The sums themselves (GridColumn::sumValue
    // of the calcSum columns) are computed by the grid services, which arrive later; the grid
    // shows what it is given and keeps it current on deletion.
    void setSumLineShown(bool on);
    bool sumLineShown() const { return sumShown_; }

    Bookmarks& marks() { return marks_; }
    int visibleRowCount() const { return rowFit_.fit; }
    int bufferRowCount() const { return rowFit_.buffer; }
    int topRow() const { return topRow_; }
    int headerHeight() const { return headerHeight_; }
    int captionHeight() const { return captionHeight_; }
    int indicatorWidth() const { return indicatorWidth_; }
    int statusHeight() const { return statusHeight_; }
    // The cell's rectangle in viewport coordinates (empty when off screen); row counts from the
    // top of the view.
    QRect cellRect(int column, int viewRow) const;
    QString statusText() const;
    QMenu* titleMenu() const { return titleMenu_; }
    QMenu* contextMenu() const { return contextMenu_; }
    // Text a cell shows, worked out as for painting but without the host's changes.
    QString cellText(const GridColumn& c, int row) const;

    // The drag in progress, for the status line and the drag feedback.
    enum class Drag { None, ColumnResize, RowResize, ColumnMove, TitlePressed };
    Drag drag() const { return drag_; }

  protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void wheelEvent(QWheelEvent*) override;
    void focusInEvent(QFocusEvent*) override;
    void focusOutEvent(QFocusEvent*) override;
    bool viewportEvent(QEvent*) override;
    void scrollContentsBy(int, int) override {}

  private:
    friend class InplaceEdit;
    friend class GridColumn;

    // Data link.
    void activeChanged(data::DataSet&) override;
    void dataSetChanged(data::DataSet&) override;
    void scrolled(data::DataSet&) override;
    void recordChanged(data::DataSet&, int) override;
    void stateChanged(data::DataSet&) override;

    // Runs an event's work; whatever it throws goes to the error sink instead of Qt.
    template <class F>
    void guarded(F&& f) {
        try {
            f();
        } catch (...) {
            reportError(std::current_exception());
        }
    }
    void relayout();
    void followCursor();
    int rowCount() const;
    int dataRowOfView(int viewRow) const;
    int viewRowOfPoint(int y) const;
    int columnAtX(int x) const;
    bool hintAt(QPoint pos, QString& text, QRect& cell) const;
    void makeDefaultColumns();
    std::vector<ColumnGeom> geoms() const;
    bool canEditCell(const GridColumn& c) const;
    void openEditor();
    void commitEditor();
    void discardEditor();
    void dropDown();
    void editorKey(QKeyEvent* e, bool& handled);
    void restoreEditorText();
    void editorLostFocus(InplaceEdit* e);
    void handleKey(QKeyEvent* e);
    void typedCharacter(const QString& text);
    void vScrollAction(int action);
    void vSliderReleased();
    void hScrollAction(int action);
    void openTitleMenu(int column, QPoint at);
    void openContextMenu(QPoint globalPos);
    void buildMenus();
    QString cellTextAt(const GridColumn& c, int fieldIndex, int row) const;

    void paintTitles(QPainter& p, const std::vector<PlacedColumn>& placed);
    void paintRows(QPainter& p, const std::vector<PlacedColumn>& placed, int& lastRowBottom);
    void paintCell(QPainter& p, GridColumn& c, int field, const QRect& rect, int row, bool active,
                   bool marked, bool odd, bool hasRecords);
    static void drawLine(QPainter& p, QHash<QString, QStaticText>& cache, const QFont& cacheFont,
                         const QRect& r, Qt::Alignment align, const QString& text);
    void paintLines(QPainter& p, const std::vector<PlacedColumn>& placed, int lastRowBottom);
    void paintStatus(QPainter& p);
    void paintDragFeedback(QPainter& p, const std::vector<PlacedColumn>& placed, int lastRowBottom);
    void drawFrame(QPainter& p, const QRect& r, TitleFrame f, const QColor& ultraFlatColor);
    void applyServiceWindowMode(QWidget* w);
    bool hasModelessFindWindow() const;
    void followLinkedFields();
    void startRecordDrag();

    data::DataSet* ds_ = nullptr;
    std::vector<std::unique_ptr<GridColumn>> columns_;
    GridOptions options_ = GridOptions::defaults();
    int rowHeight_ = kDefaultRowHeight;
    QString title_;
    bool titleVisible_ = false;

    int currentColumn_ = 0;
    int firstColumn_ = 0;
    int topRow_ = 0;
    RowFit rowFit_;
    int headerHeight_ = 0;  // caption line + title band
    int captionHeight_ = 0;
    int indicatorWidth_ = kIndicatorWidth;
    int statusHeight_ = 0;
    bool sumShown_ = false;
    bool firstMoveDone_ = false;
    bool painting_ = false;

    InplaceEdit* editor_ = nullptr;
    QToolButton* button_ = nullptr;
    int editColumn_ = -1;
    QString editOriginal_;  // the field's edit text when the editor opened (for Esc)
    bool committing_ = false;
    bool destroying_ = false;

    Drag drag_ = Drag::None;
    int dragColumn_ = -1;
    int dragRow_ = -1;
    int dragRowTop_ = 0;
    int dragHeight_ = 0;
    int dragTarget_ = -1;
    QPoint dragStart_;
    QPoint pressPos_;          // where the left button went down in the data area
    bool dataPressed_ = false;  // and is still down there (autoDrag)

    Bookmarks marks_;
    QString autoSearchText_;
    QTimer* autoSearchTimer_ = nullptr;
    bool autoSearching_ = false;

    QMenu* titleMenu_ = nullptr;
    QMenu* contextMenu_ = nullptr;
    std::vector<QAction*> contextAdded_;
    int titleMenuColumn_ = -1;

    QPointer<QWidget> findWindow_, filterWindow_;

    ErrorSink errorSink_;
    Question question_;
    DragStarter dragStarter_;
};

// The names the rest of the client and the report generator know these classes by.
using TDBGridEx = DBGridEx;
using TDBGridColumnEx = GridColumn;

}  // namespace zentra::grid
