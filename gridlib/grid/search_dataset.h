// The record search of the grid's find window: the rules of findRecord (record_search.h), with
// the progress window "Поиск ..." and the hourglass while it walks the data set.
#pragma once

#include <QStringList>

#include "dataset.h"

class QWidget;

namespace zentra::grid {

bool searchDataSet(data::DataSet& ds, const QStringList& fieldNames, int visibleRows,
                   unsigned options, bool fromFirst, bool newSearch, const QStringList& values,
                   QWidget* parent = nullptr);

}  // namespace zentra::grid
