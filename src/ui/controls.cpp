#include "ui/controls.h"

#include <QLabel>
#include <QPushButton>

namespace ui {

QLabel* makeLabel(const QString& text, QWidget* parent, const QString& name)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

QPushButton* makeButton(const QString& text, QWidget* parent, const QString& name)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

}  // namespace ui
