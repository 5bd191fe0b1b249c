#include "settings.h"

#include "crypt.h"
#include "database.h"
#include "settings_table.h"
#include "statement.h"
#include "statements.h"
#include "text/cp1251.h"

namespace zentra::app {

namespace sql = catalogue::sql;

std::string readConst(db::Database& db, int id, bool enciphered, std::string_view defaultValue,
                      std::string_view description, bool insertIfMissing) {
    std::string stored;
    {
        db::Statement st(db, sql::kReadConst);
        st.setParam("pid", id);
        st.execute();
        if (st.fetch()) {
            stored = st.value(0).toText();
        } else if (insertIfMissing) {
            stored = enciphered ? cryptText(text::utf8ToCp1251(defaultValue), CryptKey::Catalogue, true)
                                : std::string(defaultValue);
            db::Statement ins(db, sql::kInsertConst);
            ins.setParam("pID", id);
            ins.setParam("pNAME", std::string(description));
            ins.setParam("pVALUE", stored);
            ins.execute();
            db.defaultTransaction().commitRetaining();
        }
    }
    if (!enciphered) return stored;
    return text::cp1251ToUtf8(cryptText(stored, CryptKey::Catalogue, false));
}

void writeConst(db::Database& db, int id, std::string_view value, bool enciphered) {
    const std::string stored = enciphered
                                   ? cryptText(text::utf8ToCp1251(value), CryptKey::Catalogue, true)
                                   : std::string(value);
    db::Statement st(db, sql::kWriteConst);
    st.setParam("pvalue", stored);
    st.setParam("pid", id);
    st.execute();
    db.defaultTransaction().commitRetaining();
}

std::string readSetting(db::Database& db, int id) {
    const catalogue::SettingInfo* info = catalogue::findSetting(id);
    if (!info) return readConst(db, id, false);
    return readConst(db, id, info->enciphered, info->defaultValue ? info->defaultValue : "",
                     info->description, info->defaultValue != nullptr);
}

}  // namespace zentra::app
