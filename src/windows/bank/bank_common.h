#pragma once
#include <QString>
#include <QStringList>
#include <QVariantList>

class Dataset;
class QWidget;

// Small helpers shared by the question-bank maintenance dialogs.
namespace bank {

// Makes the table dataset's row with the given hidden id current and returns its index, or -1
// when the dataset has no such row even after re-reading it. Ids are ascending in read order,
// so this is a binary search and stays cheap on a large table.
int locateId(Dataset* table, qint64 id);

// The text of the main window's subject box: the current subject.
QString currentSubject();

// Window flags of a fixed dialog whose border shows only the system menu (close box).
void useSystemMenuBorder(QWidget* dialog);

}  // namespace bank
