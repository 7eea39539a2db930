#include "windows/bank/bank_common.h"

#include "data/data_module.h"
#include "data/dataset.h"
#include "ui/navigator.h"

#include <QComboBox>
#include <QWidget>

namespace bank {

static int searchId(Dataset* table, qint64 id)
{
    int lo = 0;
    int hi = table->recordCount() - 1;
    while (lo <= hi) {
        const int mid = lo + (hi - lo) / 2;
        const qint64 at = table->idAt(mid);
        if (at == id) return mid;
        if (at < id) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
        }
    }
    return -1;
}

int locateId(Dataset* table, qint64 id)
{
    int index = searchId(table, id);
    if (index < 0) {
        // The row was written behind the dataset's back: read the table again once.
        table->refresh();
        index = searchId(table, id);
    }
    if (index >= 0) table->setRecNo(index);
    return index;
}

QString currentSubject()
{
    return ui::navigator().currentSubject();
}

void useSystemMenuBorder(QWidget* dialog)
{
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint);
}

}  // namespace bank
