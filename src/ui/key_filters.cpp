#include "ui/key_filters.h"

#include "ui/platform.h"

#include <QKeyEvent>
#include <QVector>
#include <QWidget>

namespace keys {

bool refuseNonDigit(const QKeyEvent* event)
{
    const QString text = event->text();
    if (text.isEmpty()) return false;
    switch (event->key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        return false;
    default:
        break;
    }
    if (event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) return false;
    if (text.size() == 1 && text.at(0) >= QLatin1Char('0') && text.at(0) <= QLatin1Char('9')) return false;
    platform::beep();
    return true;
}

namespace {
class EnterChain : public QObject {
public:
    EnterChain(QObject* parent, QVector<QWidget*> chain) : QObject(parent), chain_(std::move(chain)) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                for (int i = 0; i + 1 < chain_.size(); ++i) {
                    if (chain_[i] == watched) {
                        chain_[i + 1]->setFocus();
                        return true;
                    }
                }
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QVector<QWidget*> chain_;
};
}  // namespace

void moveFocusOnEnter(std::initializer_list<QWidget*> chain)
{
    if (chain.size() < 2) return;
    auto* filter = new EnterChain(*chain.begin(), QVector<QWidget*>(chain));
    for (auto it = chain.begin(); it + 1 != chain.end(); ++it) (*it)->installEventFilter(filter);
}

}  // namespace keys
