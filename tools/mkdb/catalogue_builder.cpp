#include "catalogue_builder.h"

#include "crypt.h"
#include "text/cp1251.h"

#include <array>
#include <cstdint>
#include <string_view>

#include "database.h"
#include "error.h"
#include "settings_table.h"
#include "sql_script.h"
#include "statement.h"
#include "statements.h"

namespace zentra::mkdb {

extern const std::string_view kSchemaSql;
extern const std::string_view kProceduresSql;

namespace {

using db::Statement;
using db::Value;
using text::Date;
namespace sql = catalogue::sql;

// A small deterministic generator (xorshift), so the same arguments give the same catalogue.
class Rng {
public:
    explicit Rng(uint64_t seed) : s_(seed ? seed : 0x9E3779B97F4A7C15ull) {}
    uint64_t next() {
        s_ ^= s_ << 13;
        s_ ^= s_ >> 7;
        s_ ^= s_ << 17;
        return s_;
    }
    int below(int n) { return static_cast<int>(next() % static_cast<uint64_t>(n)); }
    bool chance(int percent) { return below(100) < percent; }

private:
    uint64_t s_;
};

struct Attribute {
    int id;
    const char* name;
    int type;
    int listView;
    int order;
    const char* prefix;
    const char* suffix;
    int visibleEmpty;
    const char* comments;
};

// Attribute 1 is the code shown in the "х-код" column of order files.
constexpr Attribute kAttributes[] = {
    {1, "Х-код", 10, 0, 1, "", "", 0, "Код товара у поставщика"},
    {2, "Производитель", 10, 1, 2, "", "", 0, "Фирма-производитель"},
    {3, "Страна", 10, 1, 3, "", "", 0, "Страна происхождения"},
    {4, "Гарантия", 0, 0, 4, "", "мес.", 0, "Гарантийный срок"},
    {5, "Розничная цена", 1, 0, 5, "", "", 0, "Рекомендованная розничная цена"},
    {6, "Вес", 0, 0, 6, "", "кг", 1, "Вес в упаковке"},
};

void insertAttributes(db::Database& db) {
    Statement st(db,
                 "INSERT INTO TATTRSETUP (FID, FNAME, FATTRTYPE, FLISTVIEW, FPARTORDER, FDATATYPE, "
                 "FIMAGEINDEX, FPREFIX, FSUFFIX, FVISIBLE_EMPTY, FCOMMENTS) VALUES (:ID, :NAME, "
                 ":T, :LV, :O, 0, :IMG, :P, :S, :VE, :C)");
    for (const auto& a : kAttributes) {
        st.setParam("ID", a.id);
        st.setParam("NAME", a.name);
        st.setParam("T", a.type);
        st.setParam("LV", a.listView);
        st.setParam("O", a.order);
        st.setParam("IMG", a.id + 1);
        st.setParam("P", a.prefix);
        st.setParam("S", a.suffix);
        st.setParam("VE", a.visibleEmpty);
        st.setParam("C", a.comments);
        st.execute();
    }
}

int insertGroup(Statement& st, int parent, const std::string& name, int type, Date begin,
                Date end, int order, const std::string& comments) {
    st.setParam("PPARENT", parent);
    st.setParam("PNAME", name);
    st.setParam("PDIRTYPE", type);
    st.setParam("PBEGDATE", begin);
    st.setParam("PENDDATE", end.isValid() ? Value(end) : Value());
    st.setParam("PVISIBLE", 1);
    st.setParam("PORDER", order);
    st.setParam("PCOMMENTS", comments);
    st.execute();
    st.fetch();
    return static_cast<int>(st.value(0).toInt());
}

constexpr std::string_view kCategories[] = {
    "Электроинструмент", "Ручной инструмент", "Сантехника",      "Электрика",
    "Крепёж",            "Лакокрасочные материалы", "Садовый инвентарь", "Спецодежда"};
constexpr std::string_view kSubgroups[] = {"Профессиональный", "Бытовой", "Комплектующие",
                                           "Расходные материалы"};
constexpr std::string_view kKinds[] = {"Стандарт", "Премиум", "Эконом"};
constexpr std::string_view kItems[] = {
    "Дрель",  "Шуруповёрт", "Перфоратор", "Лобзик",  "Молоток", "Отвёртка", "Ключ гаечный",
    "Смеситель", "Кран шаровой", "Розетка", "Выключатель", "Кабель", "Саморез", "Дюбель",
    "Эмаль",  "Грунтовка",  "Лопата",     "Грабли",  "Перчатки", "Куртка рабочая", "Ёмкость",
    "Щётка",  "Уровень",    "Рулетка"};
constexpr std::string_view kBrands[] = {"Зубр", "Интерскол", "Энкор", "Калибр", "Ресанта",
                                        "Бирюса", "Вихрь", "Фиолент"};
constexpr std::string_view kCountries[] = {"Россия", "Беларусь", "Китай", "Германия", "Италия"};

struct ProductWriter {
    Statement insert;
    Statement attr;
    explicit ProductWriter(db::Database& db)
        : insert(db, sql::qInsertProduct.select), attr(db, sql::kUpdateAttribute) {}

    int add(int group, const std::string& code, const std::string& name, int state, double price,
            Date created, const std::string& analog, int clientGroup, int isNew) {
        insert.setParam("FIDDIRECTORIES", group);
        insert.setParam("FNUMBER", code);
        insert.setParam("FNAME", name);
        insert.setParam("FState", state);
        insert.setParam("FPRICE", price);
        insert.setParam("FCREATEDATE", created);
        insert.setParam("FUPDATEDATE", created);
        insert.setParam("FANALOGGROUP", analog);
        insert.setParam("FCLIENTGROUPID", clientGroup);
        insert.setParam("FCERTIFICATION", state > 0 ? "Сертификат соответствия РОСС RU" : "");
        insert.setParam("FNEW", isNew);
        insert.execute();
        insert.fetch();
        return static_cast<int>(insert.value(0).toInt());
    }

    void value(int product, int attribute, const std::string& v) {
        attr.setParam("PFIDPRODUCTS", product);
        attr.setParam("PFIDATTRSETUP", attribute);
        attr.setParam("PFVALUE", v);
        attr.execute();
    }
};

std::string encipher(const std::string& utf8) {
    return app::cryptText(text::utf8ToCp1251(utf8), app::CryptKey::Catalogue, true);
}

void setSetting(db::Database& db, int id, const std::string& value, bool enciphered) {
    Statement st(db, sql::kWriteConst);
    st.setParam("pid", id);
    st.setParam("pvalue", enciphered ? encipher(value) : value);
    st.execute();
}

std::string priceText(double v) {
    char buf[32];
    snprintf(buf, sizeof buf, "%.2f", v);
    return buf;
}

}  // namespace

void buildEmpty(db::Database& db) {
    db::runSqlScript(db, kSchemaSql);
    db::runSqlScript(db, kProceduresSql);
    Statement st(db, sql::kInsertConst);
    for (const auto& s : catalogue::settingsTable()) {
        // Every setting gets a row, since the client's writes only update rows. Settings
        // without a default start empty (enciphered empty text for the enciphered ones).
        const std::string value = s.defaultValue ? s.defaultValue : "";
        st.setParam("pID", s.id);
        st.setParam("pNAME", s.description);
        st.setParam("pVALUE", s.enciphered ? encipher(value) : value);
        st.execute();
    }
    insertAttributes(db);
    db.defaultTransaction().commit();
}

void fillDemo(db::Database& db, Date today, int products, const Progress& progress) {
    Rng rng(20261211);
    db.executeImmediate(
        "INSERT INTO TCLIENTGROUPS (FID, FNAME) VALUES (1, 'Розница')");
    db.executeImmediate("INSERT INTO TCLIENTGROUPS (FID, FNAME) VALUES (2, 'Опт')");
    db.executeImmediate("INSERT INTO TCLIENTGROUPS (FID, FNAME) VALUES (3, 'Дилеры')");
    db.executeImmediate(
        "INSERT INTO TCLIENTGROUPS (FID, FNAME) VALUES (5, 'Бюджетные организации')");

    Statement group(db, sql::qInsertDir.select);
    const Date longAgo = Date::fromYmd(2020, 1, 1);
    std::vector<int> leaves;
    int order = 0;
    for (size_t c = 0; c < std::size(kCategories); ++c) {
        const std::string cat(kCategories[c]);
        const int top = insertGroup(group, 0, cat, 0, longAgo, Date(), ++order,
                                    "<p>Раздел <b>" + cat + "</b></p>");
        for (size_t s = 0; s < std::size(kSubgroups); ++s) {
            const std::string sub = cat + ": " + std::string(kSubgroups[s]);
            const int mid = insertGroup(group, top, sub, 0, longAgo, Date(), int(s) + 1, "");
            for (size_t k = 0; k < std::size(kKinds); ++k) {
                leaves.push_back(insertGroup(group, mid, sub + " — " + std::string(kKinds[k]), 0,
                                             longAgo, Date(), int(k) + 1, ""));
            }
        }
    }
    const int special = insertGroup(group, 0, "Спецпредложение", 1, today.addDays(-7),
                                    today.addDays(30), 0,
                                    "<p>Цены действуют до конца акции</p>");
    const int future = insertGroup(group, 0, "Новая коллекция", 0, today.addDays(10), Date(),
                                   ++order, "<p>Скоро в продаже</p>");
    const int futureChild =
        insertGroup(group, future, "Новая коллекция: инструмент", 0, longAgo, Date(), 1, "");
    db.executeImmediate("UPDATE TDIRECTORIES SET FDATA = 'brand.png' WHERE FID = " +
                        std::to_string(leaves.front()));

    ProductWriter w(db);
    std::vector<int> ids;
    for (int i = 0; i < products; ++i) {
        int target;
        if (i % 50 == 0) target = special;
        else if (i % 97 == 0) target = futureChild;
        else target = leaves[static_cast<size_t>(rng.below(static_cast<int>(leaves.size())))];
        const std::string brand(kBrands[rng.below(std::size(kBrands))]);
        const std::string name = std::string(kItems[rng.below(std::size(kItems))]) + " " + brand +
                                 " " + std::to_string(100 + rng.below(900)) + "-" +
                                 std::to_string(i + 1);
        char code[32];
        snprintf(code, sizeof code, "ZT-%06d", i + 1);
        const double price = (50 + rng.below(2000000)) / 100.0;
        const Date created = rng.chance(8) ? today.addDays(-rng.below(25)) : today.addDays(-60 - rng.below(700));
        std::string analogGroup;
        if ((i / 3) % 6 == 1) {
            // Runs of three consecutive products are analogues of each other.
            analogGroup = "AN-" + std::to_string(i / 3);
        }
        const int state = rng.chance(4) ? 0 : 1;
        const int clientGroup = rng.chance(10) ? std::array{1, 2, 3, 5}[rng.below(4)] : 0;
        const int id = w.add(target, code, name, state, price, created, analogGroup, clientGroup,
                             rng.chance(5) ? 1 : 0);
        ids.push_back(id);
        w.value(id, 1, "X" + std::string(code + 3));
        w.value(id, 2, brand);
        w.value(id, 3, std::string(kCountries[rng.below(std::size(kCountries))]));
        if (rng.chance(40)) w.value(id, 4, std::to_string(6 * (1 + rng.below(6))));
        if (rng.chance(30)) w.value(id, 5, priceText(price * 1.3));
        if (rng.chance(50)) w.value(id, 6, std::to_string(1 + rng.below(30)) + ",5");
        if (i % 500 == 499 && progress) progress("товаров: " + std::to_string(i + 1));
    }

    Statement fav(db, sql::kFavoriteAdd);
    for (int i = 0; i < 12 && i < products; ++i) {
        fav.setParam("FIDPRODUCTS", ids[static_cast<size_t>(i * 37 % products)]);
        try {
            fav.execute();
        } catch (const db::DbError&) {
            // The same product drawn twice: one favourite is enough.
        }
    }

    Statement news(db, sql::qNews.insert);
    constexpr std::array<std::string_view, 6> kNewsTitles = {
        "Новый прайс-лист",          "Скидки на электроинструмент", "Изменение графика работы",
        "Поступление садового инвентаря", "Новые бренды в каталоге", "Акция «Ёлка в подарок»"};
    for (size_t i = 0; i < kNewsTitles.size(); ++i) {
        news.setParam("FIDADM_NEWS", static_cast<int>(100 + i));
        news.setParam("FNEWDATE", today.addDays(-static_cast<int>(i) * 9));
        news.setParam("FTITLE", std::string(kNewsTitles[i]));
        news.setParam("FPARAMS", "");
        news.setParam("FINTOTEXT", "<p>" + std::string(kNewsTitles[i]) + ": кратко.</p>");
        news.setParam("FTEXT", "<p>" + std::string(kNewsTitles[i]) +
                                   ".</p><p>Подробности у Вашего менеджера.</p>");
        news.setParam("FSTATUS", i < 2 ? 1 : 0);
        news.execute();
    }

    Statement banner(db, sql::qBanners.insert);
    for (int i = 1; i <= 3; ++i) {
        banner.setParam("FID", i);
        banner.setParam("FNAME", "Баннер " + std::to_string(i));
        banner.setParam("FIMAGE", "banner" + std::to_string(i) + ".png");
        banner.setParam("FWIDTH", 468);
        banner.setParam("FHEIGHT", 60);
        banner.setParam("FTYPE", 0);
        banner.setParam("FLINKTYPE", 0);
        banner.setParam("FLINKDATA", "http://www.example.ru/promo" + std::to_string(i));
        banner.setParam("FSTARTDATE", today.addDays(-30));
        banner.setParam("FENDDATE", i == 3 ? Value(today.addDays(-1)) : Value());
        banner.setParam("FPUBLIC", 1);
        banner.setParam("FLASTSHOW", Value());
        banner.execute();
    }

    db.executeImmediate(
        "INSERT INTO TORDERRECIP (F_ID, F_NAME, F_RECIPMODE, F_ORDEREMAIL, F_ADDR, F_PHONE) "
        "VALUES (1, 'Отдел продаж (e-mail)', 0, 'orders@example.ru', 'г. Москва, ул. Складская, 1', "
        "'+7 495 000-00-00')");
    db.executeImmediate(
        "INSERT INTO TORDERRECIP (F_ID, F_NAME, F_RECIPMODE, F_ORDEREMAIL, F_ADDR, F_PHONE) "
        "VALUES (2, 'Сервер заказов (FTP)', 1, '', 'г. Москва, ул. Складская, 1', "
        "'+7 495 000-00-01')");

    Statement upd(db, sql::qInsertINSTALLED_UPDATE.select);
    upd.setParam("FUPDATEID", "1");
    upd.setParam("FUPDATETYPE", 1);
    upd.setParam("FUPDATEDATE", "01.12.2026");
    upd.setParam("FUPDATENAME", "Остатки");
    upd.setParam("FUPDATECOMMENTS", "Начальный каталог");
    upd.setParam("FUPDATESIZE", 0);
    upd.setParam("FSETUPDATE", today);
    upd.setParam("FUPDATEDATA", Value());
    upd.setParam("FUPDATEFILENAME", "price-1.zip");
    upd.setParam("FUPDATECHECKED", 0);
    upd.execute();

    setSetting(db, 0, "01.12.2026", false);
    setSetting(db, 1, "ООО «Ромашка»", false);
    setSetting(db, 2, "+7 495 111-22-33", false);
    setSetting(db, 3, "г. Москва, ул. Лесная, 5", false);
    setSetting(db, 4, "zakupki@romashka.example.ru", false);
    setSetting(db, 5, "Иванов Иван", false);
    setSetting(db, 11, "Каталог инструмента и хозтоваров", true);
    setSetting(db, 16, "ООО «Поставщик»", true);
    setSetting(db, 17, "г. Москва, ул. Складская, 1", true);
    setSetting(db, 18, "+7 495 000-00-00", true);
    setSetting(db, 19, "+7 495 000-00-09", true);
    setSetting(db, 22, "Html/map.png", true);
    setSetting(db, 24, "http://127.0.0.1:8080/zentra/update.zip", true);
    setSetting(db, 26, "127.0.0.1", true);
    setSetting(db, 27, "zentra", true);
    setSetting(db, 28, "zentra", true);
    setSetting(db, 29, "update.zip", true);
    setSetting(db, 36, "да", true);
    db.defaultTransaction().commit();
}

void fillBig(db::Database& db, Date today, int products, const Progress& progress) {
    Rng rng(42);
    Statement group(db, sql::qInsertDir.select);
    std::vector<int> leaves;
    const Date longAgo = Date::fromYmd(2020, 1, 1);
    for (int a = 0; a < 20; ++a) {
        const int top = insertGroup(group, 0, "Раздел " + std::to_string(a + 1), 0, longAgo,
                                    Date(), a, "");
        for (int b = 0; b < 10; ++b) {
            const int mid = insertGroup(group, top,
                                        "Группа " + std::to_string(a + 1) + "." + std::to_string(b + 1),
                                        0, longAgo, Date(), b, "");
            for (int c = 0; c < 9; ++c) {
                leaves.push_back(insertGroup(group, mid,
                                             "Подгруппа " + std::to_string(a + 1) + "." +
                                                 std::to_string(b + 1) + "." + std::to_string(c + 1),
                                             0, longAgo, Date(), c, ""));
            }
        }
    }
    ProductWriter w(db);
    for (int i = 0; i < products; ++i) {
        char code[32];
        snprintf(code, sizeof code, "BG-%07d", i + 1);
        const std::string brand(kBrands[rng.below(std::size(kBrands))]);
        const std::string name = std::string(kItems[rng.below(std::size(kItems))]) + " " + brand +
                                 " " + std::to_string(i + 1);
        const int id = w.add(leaves[static_cast<size_t>(i) % leaves.size()], code, name, 1,
                             (100 + rng.below(1000000)) / 100.0,
                             today.addDays(-rng.below(400)),
                             rng.chance(10) ? "BA-" + std::to_string(i / 3) : "", 0,
                             rng.chance(3) ? 1 : 0);
        w.value(id, 1, "X" + std::string(code + 3));
        w.value(id, 2, brand);
        w.value(id, 3, std::string(kCountries[rng.below(std::size(kCountries))]));
        w.value(id, 4, std::to_string(6 * (1 + rng.below(6))));
        w.value(id, 6, std::to_string(1 + rng.below(30)));
        if (i % 10000 == 9999) {
            db.defaultTransaction().commitRetaining();
            if (progress) progress("товаров: " + std::to_string(i + 1));
        }
    }
    db.defaultTransaction().commit();
}

std::string describe(db::Database& db) {
    static constexpr std::string_view kTables[] = {
        "TCONST",      "TDIRECTORIES", "TCLIENTGROUPS",  "TPRODUCTS",
        "TATTRSETUP",  "TATTRPRODUCT", "TFAVORITEPRODUCT", "TFINDRESULT",
        "TNEWS",       "TBANNERS",     "TINSTALLED_UPDATE", "TORDERS",
        "TORDERPRODUCTS", "TORDERRECIP"};
    std::string out;
    for (auto t : kTables) {
        Statement st(db, "SELECT COUNT(*) FROM " + std::string(t));
        out += std::string(t) + ": " + st.executeScalar().toText() + "\n";
    }
    Statement ver(db, sql::kReadConst);
    ver.setParam("pid", catalogue::setting::kStructureVersion);
    out += "structure version: " + ver.executeScalar().toText() + "\n";
    return out;
}

}  // namespace zentra::mkdb
