#include "select/RadioGroup.h"

#include <QGridLayout>

RadioGroup::RadioGroup(const QString& caption, const QStringList& items, int columns, QWidget* parent)
    : QGroupBox(caption, parent)
{
    auto* grid = new QGridLayout(this);
    const int rows = (int(items.size()) + columns - 1) / columns;
    for (int i = 0; i < items.size(); ++i) {
        auto* b = new QRadioButton(items[i], this);
        m_group.addButton(b, i);
        m_buttons.push_back(b);
        grid->addWidget(b, i % rows, i / rows);
    }
    if (!m_buttons.empty())
        m_buttons.front()->setChecked(true);
}

int RadioGroup::ItemIndex() const { return m_group.checkedId(); }

void RadioGroup::SetItemIndex(int index)
{
    if (m_buttons.empty())
        return;
    index = std::clamp(index, 0, int(m_buttons.size()) - 1);
    m_buttons[index]->setChecked(true);
}

QRadioButton* RadioGroup::Button(int index) const
{
    return index >= 0 && index < int(m_buttons.size()) ? m_buttons[index] : nullptr;
}
