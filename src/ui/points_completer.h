#pragma once
#include <QCompleter>
#include <QStringList>

namespace ui {

// Completes the last of the knowledge point names typed into a field (they are separated by "，"
// or ","), from the subject's point paths that contain what was typed of it. The field must delete
// its completer before the field itself goes (and when its window hides): the completer's popup
// lives as a child of the field, and a completer that outlives it reaches for the popup.
class PointsCompleter : public QCompleter {
public:
    explicit PointsCompleter(QObject* parent);
    void setPaths(const QStringList& paths);
    QStringList splitPath(const QString& path) const override;
    QString pathFromIndex(const QModelIndex& index) const override;

private:
    // Where the name being typed begins: after the last separator.
    static int lastBreak(const QString& text);
};

}  // namespace ui
