#include "ops/EraseParam.h"

#include <QAction>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <chrono>

#include "common/Services.h"
#include "ops/OpsRules.h"
#include "select/RadioGroup.h"

TfrmEraseParam::TfrmEraseParam(QWidget* parent)
    : RangeParamDialog({"frmEraseParam", QStringLiteral("Стирание накопителя"),
                        {QString(), QStringLiteral("Начальный сектор"), "speLBA1", QStringLiteral("Конечный сектор"),
                         "speLBA2"},
                        LbaRangeFields::Order::EndNotBelowStart, QStringLiteral("Help"), 310},
                       parent),
      m_random(quint32(std::chrono::steady_clock::now().time_since_epoch().count()))
{
    speLBA1 = Range()->StartField();
    speLBA2 = Range()->EndField();

    rgbCountSector = new RadioGroup(QStringLiteral(" Блоками по "),
                                    {QStringLiteral("256 секторов"), QStringLiteral("1 сектору")}, 2, this);
    rgbCountSector->setObjectName(QStringLiteral("rgbCountSector"));

    rgbRandomPatern = new RadioGroup(QStringLiteral(" Патерн "),
                                     {QStringLiteral("Случайный выбор заполнителя"), QStringLiteral("Заполнитель ")},
                                     1, this);
    rgbRandomPatern->setObjectName(QStringLiteral("rgbRandomPatern"));
    ePatern = new QLineEdit(QStringLiteral("FF"), rgbRandomPatern);
    ePatern->setObjectName(QStringLiteral("ePatern"));
    ePatern->setMaxLength(2);
    // Pasted text is held to the same digits as typed keys.
    ePatern->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9A-Fa-f]{0,2}")), ePatern));
    ePatern->setFixedWidth(ePatern->fontMetrics().horizontalAdvance(QStringLiteral("WWW")) + 12);
    ePatern->installEventFilter(this);
    connect(ePatern, &QLineEdit::textChanged, this, [this](const QString& t) {
        if (t != t.toUpper()) {
            const int at = ePatern->cursorPosition();
            ePatern->setText(t.toUpper());
            ePatern->setCursorPosition(at);
        }
    });
    // The field's menu has the one item "Случайно".
    PopupMenu = new QMenu(ePatern);
    N1 = PopupMenu->addAction(QStringLiteral("Случайно"));
    N1->setObjectName(QStringLiteral("N1"));
    connect(N1, &QAction::triggered, this, &TfrmEraseParam::N1Click);
    ePatern->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ePatern, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu->popup(ePatern->mapToGlobal(at)); });
    if (auto* grid = qobject_cast<QGridLayout*>(rgbRandomPatern->layout()))
        grid->addWidget(ePatern, 1, 1);  // beside "Заполнитель "
    for (int i = 0; i < rgbRandomPatern->Count(); ++i)
        connect(rgbRandomPatern->Button(i), &QRadioButton::clicked, this, &TfrmEraseParam::rgbRandomPaternClick);
    rgbRandomPaternClick();

    AddControl(rgbCountSector);
    AddControl(rgbRandomPatern);
}

int TfrmEraseParam::SectorsPerCommand() const { return rgbCountSector->ItemIndex() == 0 ? ops::kBlockSectors : 1; }
bool TfrmEraseParam::RandomFiller() const { return rgbRandomPatern->ItemIndex() == 0; }
std::optional<uint8_t> TfrmEraseParam::FillerByte() const { return ops::ParseFiller(ePatern->text()); }

void TfrmEraseParam::rgbRandomPaternClick() { ePatern->setEnabled(rgbRandomPatern->ItemIndex() == 1); }

void TfrmEraseParam::N1Click() { ePatern->setText(ops::RandomFillerText(m_random)); }

bool TfrmEraseParam::FormCloseQuery()
{
    if (!RangeParamDialog::FormCloseQuery())
        return false;
    // The filler byte is read whichever filler is chosen: an empty field
    // is refused here, before anything is written.
    if (!FillerByte()) {
        ShowError(this, QString::fromUtf8(ops::kFillerMissing));
        return false;
    }
    return true;
}

bool TfrmEraseParam::eventFilter(QObject* watched, QEvent* e)
{
    // Keys that type something other than a hexadecimal digit (or erase
    // one) are swallowed with a beep.
    if (watched == ePatern && e->type() == QEvent::KeyPress) {
        const auto* k = static_cast<QKeyEvent*>(e);
        const QString t = k->text();
        const bool typed = t.size() == 1 && (t[0].isPrint() || t[0] == QChar(u'\b')) &&
                           !(k->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
        if (typed && !ops::FillerKeyAllowed(t[0])) {
            Beep();
            return true;
        }
    }
    return QDialog::eventFilter(watched, e);
}
