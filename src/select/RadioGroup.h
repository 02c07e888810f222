#pragma once
// A captioned group of radio buttons laid out in columns, read and set by
// item index.
#include <QButtonGroup>
#include <QGroupBox>
#include <QRadioButton>
#include <QStringList>

class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    RadioGroup(const QString& caption, const QStringList& items, int columns, QWidget* parent = nullptr);

    int ItemIndex() const;
    // Out-of-range values are brought to the nearest item.
    void SetItemIndex(int index);
    QRadioButton* Button(int index) const;
    int Count() const { return int(m_buttons.size()); }

private:
    QButtonGroup m_group;
    std::vector<QRadioButton*> m_buttons;
};
