// gridlib-demo: the data grid over the catalogue's product list (--db FILE) or over an in-memory
// set of N generated rows (--mem N). --screenshot FILE.png renders the window offscreen to a
// picture and exits.
#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <clocale>
#include <cstdio>
#include <memory>
#include <string>

#include "conditions.h"
#include "database.h"
#include "dbgrid_ex.h"
#include "sql_dataset.h"
#include "statements.h"

using namespace zentra;
using zentra::grid::ColumnType;
using zentra::grid::DBGridEx;
using zentra::grid::GridOption;

namespace {

void usage() {
    std::fprintf(
        stderr,
        "usage: gridlib-demo (--db FILE.fdb | --mem N) [--screenshot FILE.png] [--size WxH]\n");
}

std::unique_ptr<data::MemoryDataSet> memorySet(int n) {
    std::vector<data::FieldDef> defs = {{"FID", "Код", data::FieldKind::Integer},
                                        {"FNUMBER", "Артикул", data::FieldKind::Text, 20},
                                        {"FNAME", "Наименование", data::FieldKind::Text, 60},
                                        {"FSTATE", "Состояние", data::FieldKind::Integer},
                                        {"FNEW", "Новинка", data::FieldKind::Integer},
                                        {"FPRICE", "Цена", data::FieldKind::Float, 0, 2},
                                        {"FCREATEDATE", "Создан", data::FieldKind::Date},
                                        {"FANNOTATION", "Описание", data::FieldKind::Memo}};
    std::vector<std::vector<data::Value>> rows;
    rows.reserve(static_cast<size_t>(n));
    const text::Date base = text::Date::fromYmd(2026, 1, 1);
    for (int i = 1; i <= n; ++i) {
        rows.push_back({i, "A-" + std::to_string(100000 + i), "Товар номер " + std::to_string(i),
                        i % 3 == 0 ? 0 : 1, i % 7 == 0 ? 1 : 0, (i % 1000) * 1.25,
                        base.addDays(i % 365), "Описание товара " + std::to_string(i)});
    }
    auto ds = std::make_unique<data::MemoryDataSet>(std::move(defs));
    ds->setInitialRows(std::move(rows));
    return ds;
}

void setupColumns(DBGridEx& g) {
    auto& num = g.addColumn("FNUMBER");
    num.setCaption({QStringLiteral("Артикул")});
    num.setWidth(80);
    auto& name = g.addColumn("FNAME");
    name.setCaption({QStringLiteral("Наименование"), QStringLiteral("товара")});
    name.setWidth(200);
    auto& state = g.addColumn("FSTATE");
    state.setCaption({QStringLiteral("Состояние")});
    state.columnType = ColumnType::PickList;
    state.pickList.setItems(
        {{"1", "В продаже", "В продаже"}, {"0", "Нет в наличии", "Нет в наличии"}});
    state.setWidth(100);
    auto& isNew = g.addColumn("FNEW");
    isNew.setCaption({QStringLiteral("Новинка")});
    isNew.columnType = ColumnType::CheckBox;
    isNew.setWidth(60);
    auto& price = g.addColumn("FPRICE");
    price.setCaption({QStringLiteral("Цена,"), QStringLiteral("руб.")});
    price.alignment = Qt::AlignRight;
    price.setWidth(80);
    auto& date = g.addColumn("FCREATEDATE");
    date.setCaption({QStringLiteral("Дата"), QStringLiteral("создания")});
    date.columnType = ColumnType::DateTime;
    date.setWidth(80);
    auto& note = g.addColumn("FANNOTATION");
    note.setCaption({QStringLiteral("Описание")});
    note.columnType = ColumnType::Blob;
    note.setWidth(160);
    // A price of zero is shown in red with the text "нет цены": a host changing one cell.
    g.onDrawColumnData = [&g](grid::GridColumn& c, grid::CellLook& look) {
        if (c.fieldName != QLatin1String("FPRICE") || look.row < 0) return;
        const int f = c.field();
        if (g.dataSet()->valueAt(look.row, f).toDouble() == 0) {
            look.text = QStringLiteral("нет цены");
            look.textColor = Qt::red;
        }
    };
}

}  // namespace

int main(int argc, char** argv) {
    std::string dbPath, shot;
    int mem = -1;
    int width = 900, height = 480;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--db" && i + 1 < argc) {
            dbPath = argv[++i];
        } else if (a == "--mem" && i + 1 < argc) {
            mem = std::atoi(argv[++i]);
        } else if (a == "--screenshot" && i + 1 < argc) {
            shot = argv[++i];
        } else if (a == "--size" && i + 1 < argc) {
            std::sscanf(argv[++i], "%dx%d", &width, &height);
        } else {
            usage();
            return 2;
        }
    }
    if (dbPath.empty() == (mem < 0)) {
        usage();
        return 2;
    }
    if (!shot.empty() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");

    db::Database database;
    std::unique_ptr<data::DataSet> ds;
    try {
        if (!dbPath.empty()) {
            db::ConnectParams p;
            p.database = dbPath;
            database.open(p);
            auto sqlSet = std::make_unique<data::SqlDataSet>(database);
            sqlSet->setSelectSql(std::string(catalogue::sql::kProductsSelect));
            sqlSet->setModifySql(std::string(catalogue::sql::kProductsModify));
            sqlSet->setParam("DIRLIST", "");
            sqlSet->setParam("PIDDIRECTORIES", -4);  // every product: the DIRLIST condition, empty
            sqlSet->setParam("pDiscountType", 0);
            sqlSet->setParam("pDiscount", 0.0);
            sqlSet->setParam("PANALOGGROUP", "");
            ds = std::move(sqlSet);
        } else {
            ds = memorySet(mem);
        }
        ds->open();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "gridlib-demo: %s\n", e.what());
        return 1;
    }

    QMainWindow win;
    win.setWindowTitle(QStringLiteral("Список товаров"));
    auto* g = new DBGridEx(&win);
    g->setErrorSink([&win](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& ex) {
            QMessageBox::warning(&win, QStringLiteral("Ошибка"), QString::fromUtf8(ex.what()));
        }
    });
    g->setTitle(QStringLiteral("Товары каталога"));
    g->setTitleVisible(true);
    g->striped.active = true;
    g->setOptions(grid::GridOptions(g->options()).set(GridOption::MultiSelect));
    setupColumns(*g);
    g->setDataSet(ds.get());
    win.setCentralWidget(g);
    win.resize(width, height);
    win.show();
    g->setFocus();

    if (!shot.empty()) {
        app.processEvents();
        // Mark two records so the picture shows marks next to the current row.
        ds->moveTo(std::min(3, std::max(0, ds->recordCount() - 1)));
        g->marks().select(ds->bookmarkAt(1), true);
        g->marks().select(ds->bookmarkAt(2), true);
        g->setCurrentColumn(1);
        app.processEvents();
        const QPixmap pm = win.grab();
        if (!pm.save(QString::fromStdString(shot), "PNG")) {
            std::fprintf(stderr, "gridlib-demo: cannot write %s\n", shot.c_str());
            return 1;
        }
        return 0;
    }
    return app.exec();
}
