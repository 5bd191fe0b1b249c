// The grid as a widget over an in-memory data set: keys, marks, auto-search, deletion and
// insertion, mouse drags, menus, and pixel probes of the painting.
#include <QMenu>

#include "grid_fixture.h"
#include "pick_list_popup.h"

#include <QElapsedTimer>
#include <QListWidget>
#include <QToolButton>
#include <QToolTip>

#include "popup_calendar.h"
#include "progress_window.h"
#include "record_search.h"
#include "search_dataset.h"

using namespace gridtest;

namespace {

class Grid : public GridFixture {};

}  // namespace

TEST_F(Grid, KeyTable) {
    build(50);
    ASSERT_TRUE(grid->hasFocus());
    const int page = grid->visibleRowCount();
    ASSERT_GT(page, 3);
    grid->column(3).setVisible(false);  // FNEW hidden: Left/Right skip it
    struct Step {
        int key;
        Qt::KeyboardModifiers mods;
        int id;      // record after the key
        int column;  // current column after the key
    } steps[] = {
        {Qt::Key_Down, Qt::NoModifier, 2, 0},
        {Qt::Key_Down, Qt::NoModifier, 3, 0},
        {Qt::Key_Up, Qt::NoModifier, 2, 0},
        {Qt::Key_PageDown, Qt::NoModifier, 2 + page, 0},
        {Qt::Key_PageUp, Qt::NoModifier, 2, 0},
        {Qt::Key_Right, Qt::NoModifier, 2, 1},
        {Qt::Key_Right, Qt::NoModifier, 2, 2},
        {Qt::Key_Right, Qt::NoModifier, 2, 4},  // over the hidden column
        {Qt::Key_Right, Qt::NoModifier, 2, 4},  // the last visible column stays
        {Qt::Key_Left, Qt::NoModifier, 2, 2},
        {Qt::Key_Home, Qt::NoModifier, 2, 0},
        {Qt::Key_End, Qt::NoModifier, 2, 4},
        {Qt::Key_End, Qt::ControlModifier, 50, 4},
        {Qt::Key_Down, Qt::NoModifier, 50, 4},  // nothing below the last record
        {Qt::Key_Home, Qt::ControlModifier, 1, 4},
        {Qt::Key_Up, Qt::NoModifier, 1, 4},
        {Qt::Key_Shift, Qt::NoModifier, 1, 4},  // a modifier alone does nothing
    };
    int n = 0;
    for (const Step& s : steps) {
        key(s.key, s.mods);
        EXPECT_EQ(id(), s.id) << "step " << n;
        EXPECT_EQ(grid->currentColumn(), s.column) << "step " << n;
        ++n;
    }
    EXPECT_TRUE(errors.empty());
}

TEST_F(Grid, FirstUpwardMoveAtTheLastRecordMovesOneRow) {
    build(10);
    ds->last();
    key(Qt::Key_Up);
    EXPECT_EQ(id(), 9);
}

TEST_F(Grid, HomeAndJumpsLeftBringTheColumnOnScreen) {
    build(5, {200, 200});  // narrow: one or two columns fit
    key(Qt::Key_End);
    EXPECT_EQ(grid->currentColumn(), 4);
    EXPECT_GT(grid->firstDisplayedColumn(), 0);
    EXPECT_FALSE(grid->cellRect(4, 0).isEmpty());
    key(Qt::Key_Home);
    EXPECT_EQ(grid->firstDisplayedColumn(), 0);
    EXPECT_FALSE(grid->cellRect(0, 0).isEmpty());
    key(Qt::Key_End);
    grid->setCurrentColumn(1);  // a jump of several columns to the left
    EXPECT_EQ(grid->firstDisplayedColumn(), 1);
    EXPECT_FALSE(grid->cellRect(1, 0).isEmpty());
}

TEST_F(Grid, InsMarksAskingTheHostAndMovesDown) {
    build(20);
    grid->setOption(GridOption::MultiSelect, true);
    bool allow = true;
    int asked = 0;
    grid->onCanMultiSelect = [&](bool& can) {
        ++asked;
        can = allow;
    };
    key(Qt::Key_Insert);
    EXPECT_EQ(id(), 2);
    EXPECT_TRUE(grid->marks().isSelected(ds->bookmarkAt(0)));
    allow = false;
    key(Qt::Key_Up);
    key(Qt::Key_Insert);  // refused: the mark stays, the cursor still moves down
    EXPECT_TRUE(grid->marks().isSelected(ds->bookmarkAt(0)));
    EXPECT_EQ(id(), 2);
    allow = true;
    key(Qt::Key_Up);
    key(Qt::Key_Insert);  // toggles off
    EXPECT_FALSE(grid->marks().isSelected(ds->bookmarkAt(0)));
    EXPECT_EQ(asked, 3);

    // Ctrl+Ins marks every record the host allows and comes back to where it was.
    ds->moveTo(5);
    grid->onCanMultiSelect = [&](bool& can) { can = ds->value(0).toInt() % 2 == 0; };
    key(Qt::Key_Insert, Qt::ControlModifier);
    EXPECT_EQ(grid->marks().size(), 10u);
    EXPECT_TRUE(grid->marks().isSelected(ds->bookmarkAt(1)));
    EXPECT_FALSE(grid->marks().isSelected(ds->bookmarkAt(2)));
    EXPECT_EQ(ds->recNo(), 5);
    EXPECT_FALSE(ds->controlsDisabled());
    key(Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_TRUE(grid->marks().empty());

    // Without goMultiSelect Ins does nothing.
    grid->setOption(GridOption::MultiSelect, false);
    key(Qt::Key_Insert);
    EXPECT_TRUE(grid->marks().empty());
    EXPECT_EQ(ds->recNo(), 5);
}

TEST_F(Grid, AutoSearchFindsPrefixesKeepsTextOnFailureAndIgnoresShift) {
    build(30);
    grid->setOptions(
        GridOptions(grid->options()).set(GridOption::EditOnEnter).set(GridOption::AutoSearching));
    grid->setCurrentColumn(1);
    int before = 0, after = 0;
    grid->onBeforeAutoSearching = [&] { ++before; };
    grid->onAfterAutoSearching = [&] { ++after; };
    typeText(grid.get(), QStringLiteral("бол"));
    EXPECT_EQ(grid->autoSearchText(), QStringLiteral("бол"));
    EXPECT_EQ(id(), 4);  // "Болт М6": case-insensitive prefix
    // A capital letter arrives after a Shift press of its own; the Shift must not clear the text.
    QTest::keyPress(grid.get(), Qt::Key_Shift);
    QTest::keyClick(grid.get(), Qt::Key_T, Qt::ShiftModifier);  // "T": no name goes on so
    QTest::keyRelease(grid.get(), Qt::Key_Shift);
    EXPECT_EQ(grid->autoSearchText(), QStringLiteral("бол"));  // failure keeps the old text
    EXPECT_EQ(id(), 4);
    QTest::keyPress(grid.get(), Qt::Key_Shift);
    typeText(grid.get(), QStringLiteral("Т М8"), Qt::ShiftModifier);
    EXPECT_EQ(grid->autoSearchText(), QStringLiteral("болТ М8"));
    EXPECT_EQ(id(), 7);
    EXPECT_EQ(before, after);
    EXPECT_EQ(before, 8);
    key(Qt::Key_Down);  // navigation ends the search
    EXPECT_TRUE(grid->autoSearchText().isEmpty());
    // AutoSearchingField searches its own column wherever the cursor is.
    grid->autoSearchingField = QStringLiteral("fname");
    grid->setCurrentColumn(0);
    typeText(grid.get(), QStringLiteral("товар 2"));
    EXPECT_EQ(grid->currentColumn(), 1);
    EXPECT_EQ(id(), 2);
    EXPECT_TRUE(errors.empty());
}

TEST_F(Grid, TypingOpensTheEditorOrSearchesByOptions) {
    build(10);
    grid->setCurrentColumn(1);
    QTest::keyClick(grid.get(), Qt::Key_X);
    ASSERT_TRUE(grid->editing());
    EXPECT_EQ(grid->editor()->text(), QStringLiteral("x"));  // the typed letter replaces the text
    key(Qt::Key_Escape);
    EXPECT_FALSE(grid->editing());
    EXPECT_EQ(ds->value(1).toText(), "Товар 1");
    // A pick-list cell opens read-only and keeps its text.
    grid->setCurrentColumn(2);
    QTest::keyClick(grid.get(), Qt::Key_Q);
    ASSERT_TRUE(grid->editing());
    EXPECT_TRUE(grid->editor()->isReadOnly());
    EXPECT_EQ(grid->editor()->text(), QStringLiteral("Есть"));
    key(Qt::Key_Escape);
    // Read-only grid: typing never opens an editor.
    grid->readOnly = true;
    QTest::keyClick(grid.get(), Qt::Key_Q);
    EXPECT_FALSE(grid->editing());
}

TEST_F(Grid, PickListDropDownStoresTheChosenValue) {
    build(10);
    grid->setCurrentColumn(2);
    key(Qt::Key_Return);
    ASSERT_TRUE(grid->editing());
    ASSERT_NE(grid->editorButton(), nullptr);
    QTest::keyClick(grid->editor(), Qt::Key_Down, Qt::AltModifier);
    popups::PickListPopup* popup = grid->editor()->pickListPopup();
    ASSERT_NE(popup, nullptr);
    ASSERT_EQ(popup->list()->count(), 2);
    EXPECT_EQ(popup->list()->item(1)->text(), QStringLiteral("нет на складе"));
    EXPECT_EQ(popup->list()->currentRow(), 0);  // the current value is preselected
    popup->list()->setCurrentRow(1);
    QTest::keyClick(popup->list(), Qt::Key_Return);
    EXPECT_EQ(grid->editor()->text(), QStringLiteral("Нет"));
    EXPECT_EQ(ds->value(2).toInt(), 0);
    QTest::keyClick(grid->editor(), Qt::Key_Return);
    EXPECT_FALSE(grid->editing());
    EXPECT_EQ(ds->state(), data::DataSetState::Browse);
    EXPECT_EQ(ds->valueAt(0, 2).toInt(), 0);
}

TEST_F(Grid, CheckBoxToggles) {
    build(5);
    grid->setCurrentColumn(3);
    struct Case {
        int row;
        int before, after;
    } cases[] = {{0, 0, 1}, {1, 0, 1}, {2, 5, 0}};  // neither value: becomes the false value
    for (const Case& c : cases) {
        ds->moveTo(c.row);
        ASSERT_EQ(ds->value(3).toInt(), c.before);
        key(Qt::Key_Return);
        EXPECT_FALSE(grid->editing());  // toggled, not edited
        EXPECT_EQ(ds->value(3).toInt(), c.after) << c.row;
        key(Qt::Key_Down);  // moving on posts
        EXPECT_EQ(ds->valueAt(c.row, 3).toInt(), c.after);
    }
}

TEST_F(Grid, DeleteAsksAndRemovesInsertAdds) {
    build(5);
    ds->moveTo(1);
    answer = false;
    key(Qt::Key_F8);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0],
              QStringLiteral("Внимание !|Вы действительно хотите удалить текущую запись ?"));
    EXPECT_EQ(ds->recordCount(), 5);
    answer = true;
    grid->setOption(GridOption::ConfirmDelete, false);  // asks all the same
    key(Qt::Key_F8);
    EXPECT_EQ(questions.size(), 2u);
    EXPECT_EQ(ds->recordCount(), 4);
    EXPECT_EQ(id(), 3);
    EXPECT_EQ(grid->statusText(), QStringLiteral("записей: 4"));
    key(Qt::Key_F7);
    EXPECT_EQ(ds->recordCount(), 5);
    EXPECT_EQ(ds->state(), data::DataSetState::Browse);  // posted at once
    grid->setOption(GridOption::Delete, false);
    key(Qt::Key_F8);
    EXPECT_EQ(questions.size(), 2u);
}

TEST_F(Grid, EmptyDataSetShowsOneEmptyRow) {
    build(0);
    int drawCalls = 0;
    grid->onDrawColumnData = [&](GridColumn&, CellLook&) { ++drawCalls; };
    grid->striped.active = true;
    const QImage img = shot();
    EXPECT_EQ(grid->statusText(), QStringLiteral("записей: 0"));
    EXPECT_EQ(drawCalls, 0);
    // The first row is painted (striped), the second is not.
    const QRect r0 = grid->cellRect(0, 0);  // the focused cell
    const QRect r1 = grid->cellRect(1, 1);
    EXPECT_EQ(img.pixelColor(r0.right() - 3, r0.center().y()), colors::kWindow);   // focused cell
    EXPECT_EQ(img.pixelColor(grid->cellRect(4, 0).center()), colors::kHighlight);  // selected row
    EXPECT_EQ(img.pixelColor(r1.center()), grid->bgColor);
    // No check box on the empty row.
    const QRect box = grid->cellRect(3, 0);
    EXPECT_EQ(img.pixelColor(box.center()), colors::kHighlight);
    key(Qt::Key_Return);
    EXPECT_FALSE(grid->editing());
    EXPECT_TRUE(errors.empty());
}

TEST_F(Grid, StripesFollowRecordsWhenScrollingOneRow) {
    build(50);
    grid->striped.active = true;
    grid->setOption(GridOption::RowSelect, false);
    grid->setCurrentColumn(0);
    const int rows = grid->visibleRowCount();
    const QRect a = grid->cellRect(4, 1), b = grid->cellRect(4, 2);
    const QPoint pa(a.right() - 2, a.center().y()), pb(b.right() - 2, b.center().y());
    QImage img = shot();
    EXPECT_EQ(img.pixelColor(pa), colors::kWindow);   // record 2: even
    EXPECT_EQ(img.pixelColor(pb), colors::kStriped);  // record 3: odd
    ds->moveTo(rows);  // one below the view: the view scrolls by one row
    ASSERT_EQ(grid->topRow(), 1);
    img = shot();
    EXPECT_EQ(img.pixelColor(pa), colors::kStriped);  // now record 3
    EXPECT_EQ(img.pixelColor(pb), colors::kWindow);
}

TEST_F(Grid, FocusedCellFrameAndSelectionColourFollowFocus) {
    build(10);
    grid->setCurrentColumn(1);
    ASSERT_TRUE(grid->hasFocus());
    QImage img = shot();
    const QRect cell = grid->cellRect(1, 0);
    EXPECT_EQ(img.pixelColor(cell.topLeft()), colors::kHighlight);                    // frame
    EXPECT_EQ(img.pixelColor(cell.right() - 2, cell.center().y()), colors::kWindow);  // inside
    const QRect other = grid->cellRect(4, 0);
    EXPECT_EQ(img.pixelColor(other.right() - 2, other.center().y()), colors::kHighlight);
    // Another widget takes the focus: no frame, the row turns button face.
    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    elsewhere.setFocus();
    QApplication::processEvents();
    ASSERT_FALSE(grid->hasFocus());
    img = shot();
    EXPECT_EQ(img.pixelColor(other.right() - 2, other.center().y()), colors::kButtonFace);
    EXPECT_EQ(img.pixelColor(cell.topLeft()), colors::kButtonFace);
}

TEST_F(Grid, HostChangesOneCellsLook) {
    build(10);
    grid->setOption(GridOption::RowSelect, false);
    grid->onDrawColumnData = [&](GridColumn& c, CellLook& look) {
        if (c.fieldName == QLatin1String("FPRICE") && ds->valueAt(look.row, 0).toInt() == 3) {
            look.background = Qt::red;
            look.text = QStringLiteral("нет цены");
        }
    };
    const QImage img = shot();
    const QRect hit = grid->cellRect(4, 2), miss = grid->cellRect(4, 3);
    EXPECT_EQ(img.pixelColor(hit.right() - 1, hit.top() + 1), QColor(Qt::red));
    EXPECT_EQ(img.pixelColor(miss.right() - 1, miss.top() + 1), colors::kWindow);
}

TEST_F(Grid, TooLowForOneRowPaintsNoRows) {
    build(10, {300, 40});
    EXPECT_EQ(grid->visibleRowCount(), 0);
    EXPECT_EQ(grid->bufferRowCount(), 1);
    const QImage img = shot();
    EXPECT_FALSE(img.isNull());
    EXPECT_TRUE(grid->cellRect(0, 0).isEmpty());
    key(Qt::Key_PageDown);  // a page of no rows still moves by one
    EXPECT_EQ(id(), 2);
    EXPECT_TRUE(errors.empty());
}

TEST_F(Grid, DraggingColumnWidthAndRowHeight) {
    build(10);
    QWidget* vp = grid->viewport();
    const int titleY = grid->captionHeight() + 5;
    // Column FID: left border at the indicator, right border at 12 + 50 − 1.
    const int right = grid->indicatorWidth() + 50 - 1;
    QTest::mousePress(vp, Qt::LeftButton, {}, QPoint(right, titleY));
    ASSERT_EQ(grid->drag(), DBGridEx::Drag::ColumnResize);
    QTest::mouseMove(vp, QPoint(right + 20, titleY));
    EXPECT_EQ(grid->column(0).width(), 20 + 50 - 1);
    EXPECT_EQ(grid->statusText(), QStringLiteral("ширина столбца FID - 69"));
    QTest::mouseMove(vp, QPoint(grid->indicatorWidth() + 1, titleY));
    EXPECT_FALSE(grid->column(0).visible());
    EXPECT_EQ(grid->statusText(), QStringLiteral("Столбец FID невидим"));
    QTest::mouseRelease(vp, Qt::LeftButton, {}, QPoint(grid->indicatorWidth() + 1, titleY));
    EXPECT_FALSE(grid->column(0).visible());
    EXPECT_EQ(grid->statusText(), QStringLiteral("записей: 10"));

    // Row height: drag the bottom of the first row in the indicator far up.
    const int bottom = grid->headerHeight() + grid->rowHeight();
    QTest::mousePress(vp, Qt::LeftButton, {}, QPoint(5, bottom));
    ASSERT_EQ(grid->drag(), DBGridEx::Drag::RowResize);
    QTest::mouseMove(vp, QPoint(5, grid->headerHeight() + 3));
    EXPECT_EQ(grid->statusText(), QStringLiteral("высота строки - 12 (минимальный размер строки)"));
    QTest::mouseRelease(vp, Qt::LeftButton, {}, QPoint(5, grid->headerHeight() + 3));
    EXPECT_EQ(grid->rowHeight(), 12);
}

TEST_F(Grid, HiddenColumnComesBackAtTheEdgeOfTheOneBefore) {
    build(10);
    grid->column(1).setVisible(false);
    QWidget* vp = grid->viewport();
    const int titleY = grid->captionHeight() + 5;
    const int right = grid->indicatorWidth() + 50 - 1;  // FID's right edge; FNAME hidden after it
    QTest::mousePress(vp, Qt::LeftButton, {}, QPoint(right, titleY));
    EXPECT_TRUE(grid->column(1).visible());
    QTest::mouseMove(vp, QPoint(right + 40, titleY));
    QTest::mouseRelease(vp, Qt::LeftButton, {}, QPoint(right + 40, titleY));
    EXPECT_TRUE(grid->column(1).visible());
    EXPECT_EQ(grid->column(1).width(), 40);
    EXPECT_EQ(grid->column(0).width(), 50);
}

TEST_F(Grid, TitleClickOffersOnlyWhatIsBuilt) {
    build(10);
    QWidget* vp = grid->viewport();
    const QRect title(grid->indicatorWidth() + 60, grid->captionHeight() + 5, 1, 1);  // FNAME
    QTest::mousePress(vp, Qt::LeftButton, {}, title.topLeft());
    QTest::mouseRelease(vp, Qt::LeftButton, {}, title.topLeft());
    EXPECT_EQ(grid->currentColumn(), 1);
    QStringList shown, all;
    for (QAction* a : grid->titleMenu()->actions()) {
        if (!a->isSeparator()) all << a->text();
        if (a->isVisible() && !a->isSeparator()) shown << a->text();
    }
    EXPECT_EQ(all,
              (QStringList{"Поиск по нескольким столбцам", "Фильтрация данных", "Отключить фильтр",
                           "Сортировать по столбцу", "Сортировать по нескольким столбцам",
                           "Отключить сортировку", "Изменить заголовок столбца", "Скрыть столбец",
                           "Сумма по столбцу"}));
    EXPECT_EQ(shown, QStringList{"Скрыть столбец"});
    grid->titleMenu()->hide();
    for (QAction* a : grid->titleMenu()->actions()) {
        if (a->text() == QStringLiteral("Скрыть столбец")) a->trigger();
    }
    EXPECT_FALSE(grid->column(1).visible());
    EXPECT_EQ(grid->currentColumn(), 2);
}

TEST_F(Grid, ClickMovesToRowAndColumnWheelMovesRecords) {
    build(30);
    QWidget* vp = grid->viewport();
    const QRect cell = grid->cellRect(2, 3);
    QTest::mouseClick(vp, Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(id(), 4);
    EXPECT_EQ(grid->currentColumn(), 2);
    QWheelEvent down(cell.center(), vp->mapToGlobal(cell.center()), {}, QPoint(0, -120),
                     Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(vp, &down);
    EXPECT_EQ(id(), 5);
    QWheelEvent up(cell.center(), vp->mapToGlobal(cell.center()), {}, QPoint(0, 120), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(vp, &up);
    EXPECT_EQ(id(), 4);
    // The vertical bar follows the record: range 1 .. count, position = record number.
    EXPECT_EQ(grid->verticalScrollBar()->maximum(), 30);
    EXPECT_EQ(grid->verticalScrollBar()->value(), 4);
    grid->verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(id(), 30);
    EXPECT_EQ(grid->verticalScrollBar()->value(), 30);
}

TEST_F(Grid, DateEditorCalendarPutsTheChosenDay) {
    ds = std::make_unique<data::MemoryDataSet>(std::vector<data::FieldDef>{
        {"FID", "", data::FieldKind::Integer}, {"FDATE", "", data::FieldKind::Date}});
    ds->setInitialRows({{1, text::Date::fromYmd(2025, 2, 3)}, {2, data::Value()}});
    ds->open();
    grid = std::make_unique<DBGridEx>();
    grid->addColumn("FID");
    grid->addColumn("FDATE").columnType = ColumnType::DateTime;
    grid->setDataSet(ds.get());
    grid->resize(300, 200);
    grid->show();
    grid->activateWindow();
    grid->setFocus();
    grid->setCurrentColumn(1);
    key(Qt::Key_Return);
    ASSERT_TRUE(grid->editing());
    ASSERT_NE(grid->editorButton(), nullptr);
    QTest::keyClick(grid->editor(), Qt::Key_Return, Qt::ControlModifier);
    popups::AdvancedCalendar* cal = grid->editor()->calendar();
    ASSERT_NE(cal, nullptr);
    EXPECT_EQ(cal->captionText(), QStringLiteral("Февраль, 2025"));
    QTest::keyClick(cal->grid(), Qt::Key_Right);  // the next day
    QTest::keyClick(cal->grid(), Qt::Key_Return);
    EXPECT_FALSE(cal->isVisible());
    EXPECT_EQ(grid->editor()->editorText(), QStringLiteral("04.02.2025"));
    QTest::keyClick(grid->editor(), Qt::Key_Return);
    EXPECT_EQ(ds->value(1).toDate(), text::Date::fromYmd(2025, 2, 4));
    // A blank date opens the calendar on today.
    key(Qt::Key_Down);
    key(Qt::Key_Return);
    QTest::keyClick(grid->editor(), Qt::Key_Down, Qt::AltModifier);
    ASSERT_NE(grid->editor()->calendar(), nullptr);
    EXPECT_EQ(grid->editor()->calendar()->selectedDate(), text::Date::today());
    grid->editor()->calendar()->hide();
    key(Qt::Key_Escape);
    EXPECT_TRUE(ds->value(1).isNull());
}

TEST_F(Grid, HintShowsOnlyCutOffTexts) {
    build(10);
    grid->column(1).setWidth(40);  // "Товар 1" no longer fits
    QWidget* vp = grid->viewport();
    auto hintAt = [&](QPoint p) {
        // The grid leaves the event unaccepted when it shows no hint.
        QHelpEvent he(QEvent::ToolTip, p, vp->mapToGlobal(p));
        QApplication::sendEvent(vp, &he);
        return he.isAccepted() ? QToolTip::text() : QString();
    };
    EXPECT_EQ(hintAt(grid->cellRect(1, 0).center()), QStringLiteral("Товар 1"));
    EXPECT_EQ(hintAt(grid->cellRect(0, 0).center()), QString());                 // "1" fits
    EXPECT_EQ(hintAt(QPoint(grid->cellRect(1, 0).center().x(), 3)), QString());  // title band
    QToolTip::hideText();
    QTest::qWait(2200);  // past the platform's short re-show window after a hint closes
    // Resting the pointer on a cut-off cell shows its hint without the platform's pause.
    QTest::mouseMove(vp, grid->cellRect(1, 1).center());
    QTest::qWait(100);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), QStringLiteral("Товар 2"));
    QToolTip::hideText();
}

TEST_F(Grid, DefaultColumnsFollowTheFields) {
    data::MemoryDataSet set({{"FID", "Код", data::FieldKind::Integer},
                             {"FNAME", "", data::FieldKind::Text, 20},
                             {"FDATE", "Дата", data::FieldKind::Date},
                             {"FNOTE", "", data::FieldKind::Memo}});
    set.setInitialRows({{1, "a", text::Date::fromYmd(2026, 1, 1), "note"}});
    set.open();
    DBGridEx g;
    g.setDataSet(&set);
    ASSERT_EQ(g.columnCount(), 4);
    EXPECT_EQ(g.column(0).title.caption, QStringList{"Код"});
    EXPECT_EQ(g.column(1).title.caption, QStringList{"FNAME"});  // no label: the name
    EXPECT_EQ(g.column(0).alignment, Qt::AlignRight);
    EXPECT_EQ(g.column(2).columnType, ColumnType::DateTime);
    EXPECT_EQ(g.column(3).columnType, ColumnType::Blob);
    EXPECT_EQ(g.column(0).title.frame, TitleFrame::FlatRaised);
    const int zero = QFontMetrics(g.font()).horizontalAdvance(QLatin1Char('0'));
    EXPECT_EQ(g.column(1).width(), 20 * zero + 4);
    EXPECT_EQ(g.findColumn("fdate"), &g.column(2));
    EXPECT_EQ(g.findColumn("nope"), nullptr);
}

TEST_F(Grid, SumLineShowsTheColumnSumsAndDeletionKeepsThemCurrent) {
    build(5);  // prices 1,5 .. 7,5: sum 22,5
    const int rowsBefore = grid->visibleRowCount();
    grid->column(4).calcSum = true;
    grid->column(4).sumValue = 22.5;
    grid->setSumLineShown(true);
    EXPECT_EQ(grid->statusHeight(), 2 * grid->rowHeight());
    EXPECT_LT(grid->visibleRowCount(), rowsBefore);
    ds->moveTo(1);  // price 3,0
    key(Qt::Key_F8);
    EXPECT_DOUBLE_EQ(grid->column(4).sumValue, 19.5);
}

TEST_F(Grid, ContextMenuHoldsOnlyHostActionsUntilServicesExist) {
    build(5);
    int shown = 0;
    grid->onShowPopupMenu = [&] { ++shown; };
    QAction refresh(QStringLiteral("Обновить")), copy(QStringLiteral("Копировать"));
    grid->popupActions = {&refresh, nullptr, &copy};
    QTest::mouseClick(grid->viewport(), Qt::RightButton, {}, grid->cellRect(1, 1).center());
    EXPECT_EQ(shown, 1);
    QStringList visible;
    for (QAction* a : grid->contextMenu()->actions()) {
        if (a->isVisible()) visible << (a->isSeparator() ? QStringLiteral("-") : a->text());
    }
    EXPECT_EQ(visible, (QStringList{"-", "Обновить", "-", "Копировать"}));
    grid->contextMenu()->hide();
    // The next opening starts again from the built items.
    grid->popupActions = {&refresh};
    QTest::mouseClick(grid->viewport(), Qt::RightButton, {}, grid->cellRect(1, 1).center());
    int hostItems = 0, separators = 0;
    for (QAction* a : grid->contextMenu()->actions()) {
        hostItems += a == &refresh || a == &copy;
        separators += a->isSeparator() && a->isVisible();
    }
    EXPECT_EQ(hostItems, 1);
    EXPECT_EQ(separators, 1);
    grid->contextMenu()->hide();
}

TEST_F(Grid, LeavingTheGridCommitsTheEditor) {
    build(5);
    grid->setCurrentColumn(1);
    key(Qt::Key_Return);
    ASSERT_TRUE(grid->editing());
    typeText(grid->editor(), QStringLiteral("Другое"));
    QLineEdit outside;
    outside.show();
    outside.activateWindow();
    outside.setFocus();
    QApplication::processEvents();
    EXPECT_FALSE(grid->editing());
    EXPECT_EQ(ds->value(1).toText(), "Другое");
    EXPECT_TRUE(errors.empty());
}

TEST_F(Grid, SearchDataSetFindsWithTheProgressWindowClosedAfterwards) {
    build(30);
    ASSERT_TRUE(searchDataSet(*ds, {"FNAME"}, grid->visibleRowCount(), kSearchPrefix, true, true,
                              {"БОЛТ"}, grid.get()));
    EXPECT_EQ(id(), 4);
    ASSERT_TRUE(searchDataSet(*ds, {"FNAME"}, grid->visibleRowCount(), kSearchPrefix, true, false,
                              {"болт"}, grid.get()));
    EXPECT_EQ(id(), 7);
    EXPECT_FALSE(searchDataSet(*ds, {"FNAME"}, grid->visibleRowCount(), kSearchPrefix, true, false,
                               {"болт"}, grid.get()));
    EXPECT_EQ(id(), 7);
    for (QWidget* w : QApplication::topLevelWidgets()) {
        EXPECT_EQ(qobject_cast<popups::ProgressWindow*>(w), nullptr);
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(Grid, DraggingATitleMovesTheColumn) {
    build(5);
    QWidget* vp = grid->viewport();
    const int y = grid->captionHeight() + 5;
    const QPoint fid(grid->indicatorWidth() + 20, y);          // inside FID's title
    const QPoint state(grid->cellRect(2, 0).center().x(), y);  // over FSTATE's title
    QTest::mousePress(vp, Qt::LeftButton, {}, fid);
    EXPECT_EQ(grid->drag(), DBGridEx::Drag::TitlePressed);
    QTest::mouseMove(vp, state);
    EXPECT_EQ(grid->drag(), DBGridEx::Drag::ColumnMove);
    EXPECT_EQ(grid->statusText(), QStringLiteral("перемещается столбец FID"));
    QTest::mouseRelease(vp, Qt::LeftButton, {}, state);
    QStringList order;
    for (int i = 0; i < grid->columnCount(); ++i)
        order << grid->column(i).fieldName;
    EXPECT_EQ(order, (QStringList{"FNAME", "FSTATE", "FID", "FNEW", "FPRICE"}));
    EXPECT_EQ(grid->currentColumn(), 2);
    EXPECT_EQ(grid->titleMenu()->isVisible(), false);  // a move opens no menu
}

TEST_F(Grid, AutoSearchTextClearsFiveSecondsAfterTheLastStep) {
    build(10);
    grid->readOnly = true;  // a read-only grid searches as the user types
    grid->setOption(GridOption::AutoSearching, true);
    grid->setCurrentColumn(1);
    QElapsedTimer clock;
    clock.start();
    typeText(grid.get(), QStringLiteral("тов"));
    ASSERT_EQ(grid->autoSearchText(), QStringLiteral("тов"));
    while (!grid->autoSearchText().isEmpty() && clock.elapsed() < 7000) {
        QTest::qWait(50);
        if (clock.elapsed() < 4800) {
            ASSERT_EQ(grid->autoSearchText(), QStringLiteral("тов")) << clock.elapsed();
        }
    }
    EXPECT_TRUE(grid->autoSearchText().isEmpty());
    EXPECT_GE(clock.elapsed(), 4900);
}

TEST_F(Grid, MarkedRowsPaintInTheSelectionColour) {
    build(10);
    grid->setOption(GridOption::MultiSelect, true);
    ds->moveTo(3);
    grid->marks().select(ds->bookmarkAt(1), true);
    const QImage img = shot();
    const QRect marked = grid->cellRect(4, 1), plain = grid->cellRect(4, 2);
    EXPECT_EQ(img.pixelColor(marked.right() - 2, marked.center().y()), colors::kHighlight);
    EXPECT_EQ(img.pixelColor(plain.right() - 2, plain.center().y()), colors::kWindow);
}

TEST_F(Grid, EditButtonsCallTheHost) {
    build(5);
    GridColumn& name = grid->column(1);
    name.buttonStyle = EditButtonStyle::Ellipsis;
    std::vector<QPoint> calls;
    grid->onEditButtonClick = [&](GridColumn& c, QPoint, QPoint self) {
        EXPECT_EQ(&c, &name);
        calls.push_back(self);
    };
    // An editable cell: the editor opens with the button; the button calls the host.
    grid->setCurrentColumn(1);
    key(Qt::Key_Return);
    ASSERT_TRUE(grid->editing());
    ASSERT_NE(grid->editorButton(), nullptr);
    grid->editorButton()->click();
    ASSERT_EQ(calls.size(), 1u);
    key(Qt::Key_Escape);
    // A cell that cannot be edited: a double click calls the host just below the cell.
    name.readOnly = true;
    const QRect cell = grid->cellRect(1, 2);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());   // a double click's
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell.center());  // first press
    EXPECT_FALSE(grid->editing());
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1], QPoint(cell.left(), cell.bottom() + 1));
}

TEST_F(Grid, FitToWidthFillsTheControl) {
    build(5);
    grid->setOption(GridOption::FitToWidth, true);
    // 410 pixels of columns in a 560-pixel control grow, keeping their proportions.
    EXPECT_GT(grid->column(1).width(), 150);
    EXPECT_NEAR(grid->column(1).width(), 3 * grid->column(0).width(), 3);
    const int before = grid->column(1).width();
    grid->resize(grid->width() + 200, grid->height());
    QApplication::processEvents();
    EXPECT_GT(grid->column(1).width(), before);
}

TEST_F(Grid, MarkingAllThatFailsMidwayRestoresPositionControlsAndCursor) {
    build(20);
    grid->setOption(GridOption::MultiSelect, true);
    ds->moveTo(7);
    int seen = 0;
    grid->onCanMultiSelect = [&](bool&) {
        if (++seen == 5) throw data::DataError("отказ");
    };
    key(Qt::Key_Insert, Qt::ControlModifier);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "отказ");
    EXPECT_EQ(ds->recNo(), 7);
    EXPECT_FALSE(ds->controlsDisabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    for (QWidget* w : QApplication::topLevelWidgets()) {
        EXPECT_EQ(qobject_cast<popups::ProgressWindow*>(w), nullptr);
    }
}

TEST_F(Grid, AFailingDrawHandlerIsReportedNotThrownThroughThePaint) {
    build(5);
    grid->onDrawColumnData = [](GridColumn&, CellLook&) { throw data::DataError("рисование"); };
    const QImage img = shot();
    EXPECT_FALSE(img.isNull());
    QApplication::processEvents();
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors[0], "рисование");
}
