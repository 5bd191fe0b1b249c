#include "search_dataset.h"

#include "progress_window.h"
#include "record_search.h"

namespace zentra::grid {

bool searchDataSet(data::DataSet& ds, const QStringList& fieldNames, int visibleRows,
                   unsigned options, bool fromFirst, bool newSearch, const QStringList& values,
                   QWidget* parent) {
    std::vector<std::string> names, vals;
    for (const QString& n : fieldNames)
        names.push_back(n.toStdString());
    for (const QString& v : values)
        vals.push_back(v.toStdString());
    popups::ProgressScope progress(QStringLiteral("Поиск ..."), parent);
    return findRecord(ds, names, options, fromFirst, newSearch, vals, visibleRows);
}

}  // namespace zentra::grid
