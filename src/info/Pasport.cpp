#include "info/Pasport.h"

#include "common/Fonts.h"
#include <QFontInfo>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <memory>

#include "common/Services.h"
#include "common/Shell.h"

namespace {

constexpr int kHelpContext = 10;
// Widest line: a label and a full 40-character model, with a little room.
constexpr int kMemoColumns = 33 + 40 + 3;
constexpr int kMemoRows = 29;

}  // namespace

TfrmPasport::TfrmPasport(QWidget* owner) : QDialog(owner)
{
    setWindowTitle(QStringLiteral("Идентификация диска"));
    setObjectName(QStringLiteral("frmPasport"));

    Memo = new QPlainTextEdit(this);
    Memo->setObjectName(QStringLiteral("Memo"));
    Memo->setReadOnly(true);
    Memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo->setFont(FixedPitchFont());  // the dotted labels line up
    const QFontMetrics fm(Memo->font());
    const int frame = 2 * Memo->frameWidth() + 2 * int(Memo->document()->documentMargin());
    Memo->setMinimumSize(fm.horizontalAdvance(QString(kMemoColumns, QLatin1Char('0'))) + frame +
                             Memo->verticalScrollBar()->sizeHint().width(),
                         fm.lineSpacing() * kMemoRows + frame);

    bbOK = new QPushButton(QStringLiteral("OK"), this);
    bbOK->setObjectName(QStringLiteral("bbOK"));
    bbOK->setDefault(true);
    bbHelp = new QPushButton(QStringLiteral("&Help"), this);
    bbHelp->setObjectName(QStringLiteral("bbHelp"));
    bbHelp->setAutoDefault(false);
    connect(bbOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(bbHelp, &QPushButton::clicked, this, &TfrmPasport::bbHelpClick);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(bbOK);
    buttons->addWidget(bbHelp);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Memo);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    FormCreate();
}

void TfrmPasport::FormCreate()
{
    m_identify = info::IdentifyCurrentDrive();
    ShowAllowed = uint8_t(m_identify.identifyResult & 0xFF);
    if (!ShowAllowed) {
        ShowError(parentWidget(), info::kIdentifyFailed.toString());
        return;
    }
    Memo->setPlainText(m_identify.report.lines.join(QLatin1Char('\n')));
    ShowIdentifyStatus(m_identify.report);
}

void TfrmPasport::bbHelpClick() { ShowHelpContext(this, kHelpContext); }

void ShowIdentifyStatus(const info::IdentifyReport& report)
{
    SetMainStatusPanel(2, report.model);
    SetMainStatusPanel(3, report.lbaMode);
    SetMainStatusPanel(4, report.passwordLevel);
    SetMainStatusPanel(5, report.hpaPanel);
}

void ShowPasport(QWidget* owner)
{
    const auto form = std::make_unique<TfrmPasport>(owner);
    if (form->ShowAllowed)
        form->exec();
}
