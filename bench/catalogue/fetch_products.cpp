// Opens the product list over the whole catalogue (GET_DIR_PRODUCTS with -4 and every group)
// through the SQL data set and fetches every row, printing the best of N runs in seconds.
// With --print-sql it prints the equivalent select for isql-fb instead.
//   bench-catalogue-fetch FILE.fdb [--runs N] [--print-sql]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "conditions.h"
#include "database.h"
#include "sql_dataset.h"
#include "statement.h"
#include "statements.h"

using namespace zentra;

namespace {

// Every group below `id`, depth first, as the catalogue browser collects them.
void collect(db::Statement& children, long long id, std::string& out) {
    children.setParam("pparent", id);
    children.execute();
    std::vector<long long> ids;
    while (children.fetch()) ids.push_back(children.value(0).toInt());
    for (long long child : ids) {
        if (child == 0) continue;
        out += (out.empty() ? "" : ",") + std::to_string(child);
        collect(children, child, out);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: bench-catalogue-fetch FILE.fdb [--runs N] [--print-sql]\n";
        return 2;
    }
    int runs = 3;
    bool printSql = false;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--print-sql") printSql = true;
    }
    try {
        db::Database database;
        db::ConnectParams p;
        p.database = argv[1];
        database.open(p);
        std::string descendants;
        {
            db::Statement children(database, catalogue::sql::kChildGroups);
            collect(children, 0, descendants);
        }
        const std::string dirList = catalogue::groupListCondition(0, descendants);
        if (printSql) {
            std::string quoted;
            for (char c : dirList) quoted += c == '\'' ? std::string("''") : std::string(1, c);
            std::cout << catalogue::sql::kProductColumns << "GET_DIR_PRODUCTS('" << quoted
                      << "',-4,1,5,'');\n";
            return 0;
        }
        std::vector<double> times;
        long long rows = 0;
        for (int r = 0; r < runs; ++r) {
            const auto start = std::chrono::steady_clock::now();
            data::SqlDataSet ds(database);
            ds.setSelectSql(std::string(catalogue::sql::kProductsSelect));
            ds.setParam("DIRLIST", dirList);
            ds.setParam("PIDDIRECTORIES", -4);
            ds.setParam("pDiscountType", 1);
            ds.setParam("pDiscount", 5.0);
            ds.setParam("PANALOGGROUP", "");
            ds.open();
            rows = ds.recordCount();
            ds.close();
            times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
        std::sort(times.begin(), times.end());
        std::printf("%.3f %lld\n", times[times.size() / 2], rows);
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "bench-catalogue-fetch: " << e.what() << "\n";
        return 1;
    }
}
