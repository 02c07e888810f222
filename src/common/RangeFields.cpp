#include "common/RangeFields.h"

#include <QFormLayout>
#include <QLabel>

#include "common/Services.h"
#include "common/Int64SpinBox.h"

LbaRangeFields::LbaRangeFields(const QString& caption, const QString& startLabel, const char* startName,
                               const QString& endLabel, const char* endName, QWidget* parent)
    : QGroupBox(caption, parent)
{
    m_start = new Int64SpinBox(this);
    m_start->setObjectName(QString::fromLatin1(startName));
    m_end = new Int64SpinBox(this);
    m_end->setObjectName(QString::fromLatin1(endName));
    auto* form = new QFormLayout(this);
    form->addRow(new QLabel(startLabel, this), m_start);
    form->addRow(new QLabel(endLabel, this), m_end);
}

void LbaRangeFields::SetMaximum(int64_t maximum)
{
    m_start->setRange(0, maximum);
    m_end->setRange(0, maximum);
    m_end->setValue(maximum);
}

int64_t LbaRangeFields::Start() const { return m_start->value(); }
int64_t LbaRangeFields::End() const { return m_end->value(); }

bool LbaRangeFields::CheckOrder(QWidget* dialog, Order order) const
{
    const bool ok = order == Order::EndAboveStart ? End() > Start() : End() >= Start();
    if (!ok)
        ShowError(dialog, QStringLiteral("Конец диапазона не может быть меньше начала!"));
    return ok;
}
