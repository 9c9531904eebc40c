// Compiled on the store's compile line by the layer test: each macro names a
// header the store must not reach, and the build must fail on it.
#if defined(PROBE_SEARCH)
#include "search/extract.h"
#elif defined(PROBE_MAINWINDOW)
#include "mainwindow/frmmain.h"
#elif defined(PROBE_WIDGETS)
#include <QWidget>
#endif
#include "store/dberror.h"

#include <QSqlQuery>

int layerProbe()
{
    return DbError::NoCurrentRow;
}
