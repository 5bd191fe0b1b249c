// The numbered settings in TCONST. Texts are UTF-8; enciphered values are stored as the
// catalogue-key CryptText of their cp1251 bytes.
#pragma once

#include <string>
#include <string_view>

namespace zentra::db {
class Database;
}

namespace zentra::app {

// The text of setting `id`. A missing row with `insertIfMissing` stores `defaultValue` (and
// `description`) first; a missing row otherwise reads as empty text, which for an enciphered
// setting fails to decipher ("Invalid file format"), as callers rely on.
std::string readConst(db::Database& db, int id, bool enciphered, std::string_view defaultValue = {},
                      std::string_view description = {}, bool insertIfMissing = false);

// Updates the setting's row (enciphering first when asked); a missing row is left missing.
void writeConst(db::Database& db, int id, std::string_view value, bool enciphered);

// Reads a setting with the default and description of the settings table, inserting it when
// missing if the table gives a default.
std::string readSetting(db::Database& db, int id);

// "да" exactly (settings 14, 15, 30, 36, -9992).
inline bool isYes(std::string_view v) { return v == "да"; }

}  // namespace zentra::app
