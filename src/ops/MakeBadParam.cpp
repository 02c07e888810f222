#include "ops/MakeBadParam.h"

#include "select/RadioGroup.h"

TfrmMakeBadParam::TfrmMakeBadParam(QWidget* parent)
    : RangeParamDialog({"frmMakeBadParam", QStringLiteral("Создание Soft-Bad"),
                        {QStringLiteral(" Границы диапазона "), QStringLiteral("Начало"), "speStartLBA",
                         QStringLiteral("Конец"), "speStopLBA"},
                        LbaRangeFields::Order::EndNotBelowStart, QStringLiteral("&Help"), 410},
                       parent)
{
    gbAdres = Range();
    gbAdres->setObjectName(QStringLiteral("gbAdres"));
    speStartLBA = gbAdres->StartField();
    speStopLBA = gbAdres->EndField();
    rgbKind = new RadioGroup(QStringLiteral("Выбор адресации "),
                             {QStringLiteral("Случайны выбор"), QStringLiteral("Непрерывно")}, 2, this);
    rgbKind->setObjectName(QStringLiteral("rgbKind"));
    AddControl(rgbKind);
}

bool TfrmMakeBadParam::RandomMode() const { return rgbKind->ItemIndex() == 0; }
