// A shown, focused grid over a real in-memory data set, for the widget tests.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>
#include <QTest>
#include <memory>

#include "dbgrid_ex.h"
#include "inplace_edit.h"

namespace gridtest {

// Types text key by key; QTest::keyClicks only knows Latin letters.
inline void typeText(QWidget* w, const QString& s, Qt::KeyboardModifiers m = Qt::NoModifier) {
    for (QChar c : s) {
        QTest::sendKeyEvent(QTest::Click, w, static_cast<Qt::Key>(c.toUpper().unicode()),
                            QString(c), m);
    }
    QApplication::processEvents();
}

using namespace zentra;
using namespace zentra::grid;

// Rows: FID 1..n, FNAME "Товар <i>" (with a few special names), FSTATE 1/0, FNEW 0/1, FPRICE.
inline std::unique_ptr<data::MemoryDataSet> makeProducts(int n) {
    std::vector<data::FieldDef> defs = {{"FID", "", data::FieldKind::Integer},
                                        {"FNAME", "", data::FieldKind::Text, 60},
                                        {"FSTATE", "", data::FieldKind::Integer},
                                        {"FNEW", "", data::FieldKind::Integer},
                                        {"FPRICE", "", data::FieldKind::Float, 0, 2}};
    std::vector<std::vector<data::Value>> rows;
    for (int i = 1; i <= n; ++i) {
        std::string name = "Товар " + std::to_string(i);
        if (i == 4) name = "Болт М6";
        if (i == 7) name = "болт М8";
        rows.push_back({i, name, i % 2, i == 3 ? 5 : 0, i * 1.5});
    }
    auto ds = std::make_unique<data::MemoryDataSet>(std::move(defs));
    ds->setInitialRows(std::move(rows));
    ds->open();
    return ds;
}

class GridFixture : public ::testing::Test {
  protected:
    void build(int rows = 50, QSize size = {560, 260}) {
        ds = makeProducts(rows);
        grid = std::make_unique<DBGridEx>();
        grid->setErrorSink([this](std::exception_ptr e) {
            try {
                std::rethrow_exception(e);
            } catch (const std::exception& ex) {
                errors.push_back(ex.what());
            }
        });
        grid->setQuestion([this](const QString& text, const QString& caption) {
            questions.push_back(caption + "|" + text);
            return answer;
        });
        auto& id = grid->addColumn("FID");
        id.setWidth(50);
        auto& name = grid->addColumn("FNAME");
        name.setWidth(150);
        auto& state = grid->addColumn("FSTATE");
        state.columnType = ColumnType::PickList;
        state.pickList.setItems({{"1", "Есть", "есть на складе"}, {"0", "Нет", "нет на складе"}});
        state.setWidth(80);
        auto& isNew = grid->addColumn("FNEW");
        isNew.columnType = ColumnType::CheckBox;
        isNew.setWidth(50);
        auto& price = grid->addColumn("FPRICE");
        price.setWidth(80);
        grid->setDataSet(ds.get());
        grid->resize(size);
        grid->show();
        grid->activateWindow();
        grid->setFocus();
        QApplication::processEvents();
    }
    void key(int k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : grid.get();
        QTest::keyClick(target, static_cast<Qt::Key>(k), m);
        QApplication::processEvents();
    }
    QImage shot() {
        QApplication::processEvents();
        return grid->viewport()->grab().toImage();
    }
    int id() { return static_cast<int>(ds->value(0).toInt()); }

    std::unique_ptr<data::MemoryDataSet> ds;
    std::unique_ptr<DBGridEx> grid;
    std::vector<std::string> errors;
    std::vector<QString> questions;
    bool answer = true;
};

}  // namespace gridtest
