#include "bank/bank_common.h"

#include "app/application.h"

#include "app/forms.h"
#include "app/main_window.h"
#include "data/data_module.h"
#include "data/dataset.h"
#include "data/sql.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace bank {

bool firstValue(const QString& statement, const QVariantList& binds, QString* out)
{
    QSqlQuery q = sql::run(DM->db(), statement, binds);
    if (!q.next()) return false;
    *out = q.value(0).toString();
    return true;
}

QStringList column(const QString& statement, const QVariantList& binds)
{
    QStringList values;
    QSqlQuery q = sql::run(DM->db(), statement, binds);
    while (q.next()) values << q.value(0).toString();
    return values;
}

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
    return MainF ? MainF->ComboBoxKmm->currentText() : QString();
}

void useSystemMenuBorder(QWidget* dialog)
{
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint);
}

void centreOnDesktop(QWidget* window)
{
    app::centreOnScreen(window);
}

}  // namespace bank
