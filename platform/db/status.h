// Turns a Firebird status vector into a DbError. Internal to the database layer.
#pragma once

#include <ibase.h>

#include <string_view>

#include "error.h"

namespace zentra::db::detail {

[[noreturn]] void throwStatus(const ISC_STATUS* status, std::string_view sql = {});

inline void check(const ISC_STATUS* status, std::string_view sql = {}) {
    if (status[0] == 1 && status[1] != 0) throwStatus(status, sql);
}

}  // namespace zentra::db::detail
