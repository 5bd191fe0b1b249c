// Behaviours around the grid proper: dragging records out (autoDrag), where the find and filter
// windows live (goStayOnTop), the five-step scroll bar of sets without record numbers, columns
// that follow their field's label and visibility, and the progress window's animation.
#include <QDialog>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>

#include "grid_fixture.h"
#include "progress_window.h"

using namespace gridtest;

namespace {

class Behaviour : public GridFixture {
  protected:
    // Moves the pointer over the viewport with the left button held.
    void moveHeld(QPoint pos) {
        QWidget* vp = grid->viewport();
        QMouseEvent ev(QEvent::MouseMove, QPointF(pos), QPointF(vp->mapToGlobal(pos)),
                       Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(vp, &ev);
        QApplication::processEvents();
    }
};

// A set that, like a live cursor over a server, cannot say which record number it stands on.
class UnsequencedSet : public data::MemoryDataSet {
  public:
    using MemoryDataSet::MemoryDataSet;
    bool isSequenced() const override { return false; }
};

std::unique_ptr<data::MemoryDataSet> makeUnsequenced(int n) {
    std::vector<std::vector<data::Value>> rows;
    for (int i = 1; i <= n; ++i) rows.push_back({i, "Запись " + std::to_string(i)});
    auto ds = std::make_unique<UnsequencedSet>(std::vector<data::FieldDef>{
        {"FID", "", data::FieldKind::Integer}, {"FNAME", "", data::FieldKind::Text, 40}});
    ds->setInitialRows(std::move(rows));
    ds->open();
    return ds;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// autoDrag

TEST_F(Behaviour, AutoDragStartsOnlyFromTheDataAfterTheDragDistance) {
    const int dist = QApplication::startDragDistance();
    enum class Where { Data, Title, Indicator };
    struct Case {
        const char* name;
        bool autoDrag;
        Where where;
        int moveBy;         // pixels to the right (and down for the indicator) with the button held
        bool releaseFirst;  // the button goes up before the move
        int drags;
    } cases[] = {
        {"off", false, Where::Data, 3 * dist, false, 0},
        {"short of the distance", true, Where::Data, dist - 1, false, 0},
        {"at the distance", true, Where::Data, dist, false, 1},
        {"far", true, Where::Data, 4 * dist, false, 1},
        {"after release", true, Where::Data, 3 * dist, true, 0},
        {"title press moves columns", true, Where::Title, 3 * dist, false, 0},
        {"indicator press sizes rows", true, Where::Indicator, 3 * dist, false, 0},
    };
    for (const Case& c : cases) {
        build(20);
        grid->autoDrag = c.autoDrag;
        std::vector<std::pair<QByteArray, QString>> drags;
        grid->setDragStarter([&](QMimeData* m) {
            drags.emplace_back(m->data(DBGridEx::recordMimeType()), m->text());
            delete m;
        });
        QPoint at;
        const QRect cell = grid->cellRect(1, 2);
        if (c.where == Where::Data) at = QPoint(cell.left() + 10, cell.center().y());
        if (c.where == Where::Title)
            at = QPoint(cell.left() + 10, grid->headerHeight() / 2);
        if (c.where == Where::Indicator)
            at = QPoint(4, grid->headerHeight() + 2 * grid->rowHeight());  // a row's bottom
        QTest::mousePress(grid->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        if (c.releaseFirst) QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, at);
        const bool down = c.where == Where::Indicator;
        // Gets there in two steps; once a drag began, moving on must not start another.
        moveHeld(at + QPoint(c.moveBy / 2, down ? c.moveBy / 2 : 0));
        moveHeld(at + QPoint(c.moveBy, down ? c.moveBy : 0));
        if (c.drags == 1) moveHeld(at + QPoint(c.moveBy + 5, 0));
        EXPECT_EQ(static_cast<int>(drags.size()), c.drags) << c.name;
        if (c.drags == 1 && !drags.empty()) {
            // The pressed record is the one dragged.
            EXPECT_EQ(id(), 3) << c.name;
            EXPECT_EQ(drags[0].first, QByteArray::number(static_cast<qulonglong>(ds->bookmark())))
                << c.name;
            EXPECT_EQ(drags[0].second, QStringLiteral("Товар 3")) << c.name;
        }
        QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, at);
        EXPECT_TRUE(errors.empty()) << c.name;
        grid.reset();
    }
}

TEST_F(Behaviour, AutoDragOverAnEmptySetDragsNothing) {
    build(0);
    grid->autoDrag = true;
    int drags = 0;
    grid->setDragStarter([&](QMimeData* m) {
        ++drags;
        delete m;
    });
    const QRect cell = grid->cellRect(1, 0);
    const QPoint at(cell.left() + 10, cell.center().y());
    QTest::mousePress(grid->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    moveHeld(at + QPoint(4 * QApplication::startDragDistance(), 0));
    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(drags, 0);
    EXPECT_TRUE(errors.empty());
}

// ---------------------------------------------------------------------------------------------
// goStayOnTop

TEST_F(Behaviour, FindAndFilterWindowsAreModelessOnlyWithStayOnTopInAForm) {
    struct Case {
        bool stayOnTop;
        bool inForm;
        bool modeless;
    } cases[] = {
        {true, true, true},
        {true, false, false},
        {false, true, false},
        {false, false, false},
    };
    for (const Case& c : cases) {
        build(10);
        auto form = std::make_unique<QWidget>();
        if (c.inForm) grid->setParent(form.get());
        grid->setOption(GridOption::StayOnTop, c.stayOnTop);
        auto* find = new QDialog;
        auto* filter = new QWidget;
        grid->attachServiceWindow(DBGridEx::ServiceWindow::Find, find);
        grid->attachServiceWindow(DBGridEx::ServiceWindow::Filter, filter);
        const std::string name = std::to_string(c.stayOnTop) + std::to_string(c.inForm);
        EXPECT_EQ(grid->serviceWindowOwner(), c.modeless ? form.get() : nullptr) << name;
        for (QWidget* w : {static_cast<QWidget*>(find), filter}) {
            EXPECT_EQ(w->windowModality(), c.modeless ? Qt::NonModal : Qt::ApplicationModal)
                << name;
            EXPECT_TRUE(w->isWindow()) << name;
            if (c.modeless) {
                EXPECT_EQ(w->parentWidget(), form.get()) << name;
                EXPECT_EQ(w->windowType(), Qt::Tool) << name;
            } else {
                EXPECT_EQ(w->windowType(), Qt::Dialog) << name;
            }
        }
        // The grid frees its windows, also those a form is the parent of.
        QPointer<QWidget> pf(find), pl(filter);
        grid.reset();
        EXPECT_TRUE(pf.isNull()) << name;
        EXPECT_TRUE(pl.isNull()) << name;
    }
}

TEST_F(Behaviour, ChangingStayOnTopMovesWindowsAlreadyMade) {
    build(10);
    QWidget form;
    grid->setParent(&form);
    form.show();
    auto* find = new QWidget;
    grid->attachServiceWindow(DBGridEx::ServiceWindow::Find, find);
    EXPECT_EQ(find->windowModality(), Qt::ApplicationModal);
    grid->setOption(GridOption::StayOnTop, true);
    EXPECT_EQ(find->windowModality(), Qt::NonModal);
    EXPECT_EQ(find->parentWidget(), &form);
    grid->showServiceWindow(DBGridEx::ServiceWindow::Find);
    EXPECT_TRUE(find->isVisible());
    // Re-parenting on the way back must not lose a shown window.
    grid->setOption(GridOption::StayOnTop, false);
    EXPECT_EQ(find->windowModality(), Qt::ApplicationModal);
    EXPECT_TRUE(find->isVisible());
    find->hide();
    grid.reset();  // before the form, which would otherwise free the grid first
}

TEST_F(Behaviour, ModelessFindWindowKeepsTheRowHighlightedWithoutFocus) {
    build(10);
    QWidget form;
    grid->setParent(&form);
    QWidget elsewhere(&form);
    form.show();
    grid->show();
    elsewhere.show();
    form.activateWindow();
    elsewhere.setFocus();
    QApplication::processEvents();
    ASSERT_FALSE(grid->hasFocus());
    const QRect other = grid->cellRect(4, 0);
    const QPoint probe(other.right() - 2, other.center().y());
    struct Step {
        const char* name;
        bool stayOnTop;
        bool attach;
        QColor row;
    } steps[] = {
        {"no window", true, false, colors::kButtonFace},
        {"modeless window", true, true, colors::kHighlight},
        {"window made modal", false, true, colors::kButtonFace},
        {"modeless again", true, true, colors::kHighlight},
    };
    for (const Step& s : steps) {
        grid->setOption(GridOption::StayOnTop, s.stayOnTop);
        if (s.attach && !grid->serviceWindow(DBGridEx::ServiceWindow::Find))
            grid->attachServiceWindow(DBGridEx::ServiceWindow::Find, new QWidget);
        EXPECT_EQ(shot().pixelColor(probe), s.row) << s.name;
    }
    grid.reset();
}

// ---------------------------------------------------------------------------------------------
// Scroll bar of sets without record numbers

TEST_F(Behaviour, UnsequencedSetGetsTheFiveStepBar) {
    build(10);
    auto un = makeUnsequenced(200);
    grid->setDataSet(un.get());
    ds = std::move(un);
    QApplication::processEvents();
    QScrollBar* v = grid->verticalScrollBar();
    const int page = grid->visibleRowCount();
    ASSERT_GT(page, 2);
    EXPECT_EQ(v->minimum(), 0);
    EXPECT_EQ(v->maximum(), 4);
    EXPECT_EQ(v->pageStep(), 0);
    struct Step {
        const char* name;
        std::function<void()> act;
        int id;   // record after the step
        int pos;  // bar position after the step
    } steps[] = {
        {"opened", [] {}, 1, 0},
        {"down", [&] { key(Qt::Key_Down); }, 2, 2},
        {"ctrl+end", [&] { key(Qt::Key_End, Qt::ControlModifier); }, 200, 4},
        {"ctrl+home", [&] { key(Qt::Key_Home, Qt::ControlModifier); }, 1, 0},
        {"line down", [&] { v->triggerAction(QAbstractSlider::SliderSingleStepAdd); }, page + 1, 2},
        {"to bottom", [&] { v->triggerAction(QAbstractSlider::SliderToMaximum); }, 200, 4},
        {"to top", [&] { v->triggerAction(QAbstractSlider::SliderToMinimum); }, 1, 0},
    };
    for (const Step& s : steps) {
        s.act();
        QApplication::processEvents();
        EXPECT_EQ(id(), s.id) << s.name;
        EXPECT_EQ(v->value(), s.pos) << s.name;
        EXPECT_EQ(v->maximum(), 4) << s.name;
    }
    // A released thumb: 0 first, 1 a page up, 2 stays, 3 a page down, 4 last.
    ds->moveTo(99);
    struct Thumb {
        int at;
        int idAfter;
        int posAfter;
    } thumbs[] = {
        {3, 100 + page, 2}, {1, 100, 2}, {2, 100, 2}, {4, 200, 4}, {0, 1, 0}, {3, 1 + page, 2},
    };
    for (const Thumb& t : thumbs) {
        v->setSliderDown(true);
        v->setSliderPosition(t.at);
        v->setSliderDown(false);  // the release
        QApplication::processEvents();
        EXPECT_EQ(id(), t.idAfter) << "thumb at " << t.at;
        EXPECT_EQ(v->value(), t.posAfter) << "thumb at " << t.at;
    }
    EXPECT_TRUE(errors.empty());
}

TEST_F(Behaviour, SequencedSetKeepsTheRecordBar) {
    build(200);
    QScrollBar* v = grid->verticalScrollBar();
    EXPECT_EQ(v->minimum(), 1);
    EXPECT_EQ(v->maximum(), 200);
    EXPECT_EQ(v->pageStep(), grid->visibleRowCount());
    ds->moveTo(120);
    EXPECT_EQ(v->value(), 121);
    v->setSliderDown(true);
    v->setSliderPosition(3);
    v->setSliderDown(false);
    EXPECT_EQ(id(), 3);  // a record number, not a step
}

// ---------------------------------------------------------------------------------------------
// Columns that follow their field

TEST_F(Behaviour, LinkedColumnsFollowFieldLabelAndVisibility) {
    build(10);
    grid->column(1).linkField = true;  // FNAME
    grid->column(4).linkField = true;  // FPRICE
    grid->column(2).linkField = false;
    grid->column(1).setCaption({"Своя подпись"});
    struct Step {
        const char* name;
        int field;  // data set field changed (-1: label only)
        bool visible;
        bool nameShown, stateShown, priceShown;
    } steps[] = {
        {"hide FNAME", 1, false, false, true, true},
        {"hide FSTATE: its column is not linked", 2, false, false, true, true},
        {"hide FPRICE", 4, false, false, true, false},
        {"show FNAME", 1, true, true, true, false},
        {"show FPRICE", 4, true, true, true, true},
    };
    ds->field(1).label = "Наименование";
    for (const Step& s : steps) {
        ds->setFieldVisible(s.field, s.visible);
        QApplication::processEvents();
        EXPECT_EQ(grid->column(1).visible(), s.nameShown) << s.name;
        EXPECT_EQ(grid->column(2).visible(), s.stateShown) << s.name;
        EXPECT_EQ(grid->column(4).visible(), s.priceShown) << s.name;
        // The linked caption is the field's label, the other keeps its own.
        EXPECT_EQ(grid->column(1).title.caption, QStringList{"Наименование"}) << s.name;
        EXPECT_EQ(grid->column(4).title.caption, QStringList{"FPRICE"}) << s.name;
        // A hidden column is not painted.
        EXPECT_EQ(grid->cellRect(1, 0).isEmpty(), !s.nameShown) << s.name;
    }
    EXPECT_TRUE(errors.empty());
}

TEST_F(Behaviour, HidingTheCurrentLinkedColumnMovesTheCursorToAShownOne) {
    build(10);
    for (int i = 0; i < grid->columnCount(); ++i) grid->column(i).linkField = true;
    struct Step {
        int current;
        int hideField;
        int after;
    } steps[] = {{1, 1, 2}, {4, 4, 3}};
    for (const Step& s : steps) {
        for (int f = 0; f < ds->fieldCount(); ++f) ds->setFieldVisible(f, true);
        grid->setCurrentColumn(s.current);
        ASSERT_EQ(grid->currentColumn(), s.current);
        ds->setFieldVisible(s.hideField, false);
        EXPECT_EQ(grid->currentColumn(), s.after) << s.hideField;
        EXPECT_TRUE(grid->column(grid->currentColumn()).visible());
    }
}

TEST_F(Behaviour, LinkedColumnOfAFieldHiddenBeforeOpeningStartsHidden) {
    std::vector<data::FieldDef> defs = {{"FID", "", data::FieldKind::Integer},
                                        {"FNAME", "Имя", data::FieldKind::Text, 20}};
    defs[1].visible = false;
    data::MemoryDataSet set(defs);
    set.setInitialRows({{1, "а"}, {2, "б"}});
    DBGridEx g;
    g.addColumn("FID");
    g.addColumn("FNAME").linkField = true;
    g.setDataSet(&set);
    set.open();
    EXPECT_FALSE(g.column(1).visible());
    EXPECT_EQ(g.column(1).title.caption, QStringList{"Имя"});
    g.setDataSet(nullptr);
}

TEST_F(Behaviour, DefaultColumnsOnlyForVisibleFields) {
    struct Case {
        std::vector<bool> visible;
        QStringList columns;
    } cases[] = {
        {{true, true, true}, {"FID", "FNAME", "FDATE"}},
        {{true, false, true}, {"FID", "FDATE"}},
        {{false, false, false}, {}},
    };
    for (const Case& c : cases) {
        std::vector<data::FieldDef> defs = {{"FID", "", data::FieldKind::Integer},
                                            {"FNAME", "", data::FieldKind::Text, 20},
                                            {"FDATE", "", data::FieldKind::Date}};
        for (size_t i = 0; i < defs.size(); ++i) defs[i].visible = c.visible[i];
        data::MemoryDataSet set(defs);
        set.open();
        DBGridEx g;
        g.setDataSet(&set);
        QStringList names;
        for (int i = 0; i < g.columnCount(); ++i) names << g.column(i).fieldName;
        EXPECT_EQ(names, c.columns);
        g.setDataSet(nullptr);
    }
}

// ---------------------------------------------------------------------------------------------
// Progress window animation

TEST(ProgressAnimation, FrameFollowsTheClock) {
    using A = popups::ProgressAnimation;
    struct Case {
        qint64 ms;
        int frame;
    } cases[] = {{-5, 0},
                 {0, 0},
                 {A::kFrameMs - 1, 0},
                 {A::kFrameMs, 1},
                 {A::kFrameMs * A::kFrames - 1, A::kFrames - 1},
                 {A::kFrameMs * A::kFrames, 0},
                 {A::kFrameMs * (3 * A::kFrames + 5) + 7, 5}};
    for (const Case& c : cases) EXPECT_EQ(A::frameAt(c.ms), c.frame) << c.ms;
}

TEST(ProgressAnimation, EveryFrameLooksDifferentAndTheSameFrameTheSame) {
    using A = popups::ProgressAnimation;
    auto render = [](int frame) {
        QImage img(48, 48, QImage::Format_ARGB32);
        img.fill(Qt::white);
        QPainter p(&img);
        A::paintFrame(p, img.rect(), frame);
        return img;
    };
    std::vector<QImage> frames;
    for (int f = 0; f < A::kFrames; ++f) frames.push_back(render(f));
    const QImage blank = [] {
        QImage img(48, 48, QImage::Format_ARGB32);
        img.fill(Qt::white);
        return img;
    }();
    for (int a = 0; a < A::kFrames; ++a) {
        EXPECT_NE(frames[a], blank) << a;
        EXPECT_EQ(render(a), frames[a]) << a;
        for (int b = a + 1; b < A::kFrames; ++b) EXPECT_NE(frames[a], frames[b]) << a << " " << b;
    }
}

TEST(ProgressAnimation, WindowAnimatesWhileShownAndStopsWhenHidden) {
    popups::ProgressWindow* w = popups::showProgress(QStringLiteral("Выполняется отметка записей ..."));
    ASSERT_NE(w->animation(), nullptr);
    EXPECT_TRUE(w->animation()->isVisible());
    EXPECT_TRUE(w->animation()->running());
    EXPECT_TRUE(w->findChildren<QProgressBar*>().isEmpty());  // no busy bar any more
    // The shown picture changes as time goes by.
    const QImage first = w->animation()->grab().toImage();
    const int f0 = w->animation()->frame();
    QTest::qWait(popups::ProgressAnimation::kFrameMs * 3);
    const int f1 = w->animation()->frame();
    EXPECT_NE(f0, f1);
    EXPECT_NE(w->animation()->grab().toImage(), first);
    w->hide();
    EXPECT_FALSE(w->animation()->running());
    popups::closeProgress(w);
}
