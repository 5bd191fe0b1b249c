#include "conditions.h"

#include <cctype>

#include "param_scanner.h"
#include "statements.h"
#include "text/format_settings.h"

namespace zentra::catalogue {
namespace {

std::string joinIn(const std::vector<long long>& ids, std::string_view lead) {
    // lead is "FIDDIRECTORIES in (" and friends; lists over the limit become OR'ed chunks.
    std::string out;
    for (size_t start = 0; start < ids.size(); start += kMaxInListValues) {
        if (start > 0) out += " OR ";
        out += lead;
        const size_t end = std::min(ids.size(), start + kMaxInListValues);
        for (size_t i = start; i < end; ++i) {
            if (i > start) out += ',';
            out += std::to_string(ids[i]);
        }
        out += ')';
    }
    return out;
}

std::vector<long long> groupAndDescendants(long long group, std::string_view descendants) {
    std::vector<long long> ids{group};
    for (long long id : parseIdList(descendants)) ids.push_back(id);
    return ids;
}

}  // namespace

std::vector<long long> parseIdList(std::string_view list) {
    std::vector<long long> ids;
    size_t i = 0;
    auto skipBlanks = [&] {
        while (i < list.size() && (list[i] == ' ' || list[i] == '\t')) ++i;
    };
    skipBlanks();
    if (i == list.size()) return ids;
    for (;;) {
        skipBlanks();
        const size_t start = i;
        if (i < list.size() && list[i] == '-') ++i;
        while (i < list.size() && std::isdigit(static_cast<unsigned char>(list[i]))) ++i;
        const auto id = text::parseMachineInteger(list.substr(start, i - start));
        if (!id) {
            throw std::invalid_argument("Список номеров групп содержит недопустимый текст: \"" +
                                        std::string(list) + "\"");
        }
        ids.push_back(*id);
        skipBlanks();
        if (i == list.size()) break;
        if (list[i] != ',') {
            throw std::invalid_argument("Список номеров групп содержит недопустимый текст: \"" +
                                        std::string(list) + "\"");
        }
        ++i;
    }
    return ids;
}

std::string clientGroupCondition(std::string_view filter) {
    const auto ids = parseIdList(filter);
    if (ids.empty()) return {};
    std::string list;
    for (size_t i = 0; i < ids.size(); ++i) {
        if (i) list += ',';
        list += std::to_string(ids[i]);
    }
    return " AND (FCLIENTGROUPID in (" + list + ")) ";
}

std::string groupListCondition(long long group, std::string_view descendants) {
    const auto ids = groupAndDescendants(group, descendants);
    if (ids.size() <= kMaxInListValues) return " AND   " + joinIn(ids, "FIDDIRECTORIES in (");
    return " AND   (" + joinIn(ids, "FIDDIRECTORIES in (") + ")";
}

std::string groupCountCondition(long long group, std::string_view descendants) {
    const auto ids = groupAndDescendants(group, descendants);
    if (ids.size() == 1) return "AND FIDDIRECTORIES = " + std::to_string(group);
    if (ids.size() <= kMaxInListValues) return "AND " + joinIn(ids, "FIDDIRECTORIES in (");
    return "AND (" + joinIn(ids, "FIDDIRECTORIES in (") + ")";
}

std::string productsRefreshSql(long long pidDirectories, int discountType, double discount,
                               std::string_view analogGroup) {
    return std::string(sql::kProductColumns) + "GET_DIR_PRODUCTS(''," +
           std::to_string(pidDirectories) + "," + std::to_string(discountType) + "," +
           text::machineNumber(discount) + "," + db::quoteSqlLiteral(analogGroup) +
           ") WHERE FID=:FID";
}

}  // namespace zentra::catalogue
