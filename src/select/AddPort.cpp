#include "select/AddPort.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/Format.h"
#include "common/Services.h"
#include "common/Shell.h"

QString CheckManualPortText(const QString& text)
{
    uint32_t v = 0;
    if (!ParseHexText(text, v) || v == 0 || v > 0xFFFF)
        return QStringLiteral("Неверный адрес «%1».\nВведите шестнадцатеричное число от 0001 до FFFF.")
            .arg(text.trimmed());
    return {};
}

TfrmAddPort::TfrmAddPort(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmAddPort"));
    setWindowTitle(QStringLiteral("Введите параметры контроллера"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    auto* gbName = new QGroupBox(QStringLiteral(" Название "), this);
    ePortName = new QLineEdit(gbName);
    ePortName->setObjectName(QStringLiteral("ePortName"));
    (new QVBoxLayout(gbName))->addWidget(ePortName);

    auto* gbAdr = new QGroupBox(QStringLiteral("Базовый адрес "), this);
    auto* grid = new QGridLayout(gbAdr);
    eBaseAdr = new QLineEdit(gbAdr);
    eBaseAdr->setObjectName(QStringLiteral("eBaseAdr"));
    eAltAdr = new QLineEdit(gbAdr);
    eAltAdr->setObjectName(QStringLiteral("eAltAdr"));
    for (QLineEdit* e : {eBaseAdr, eAltAdr}) {
        e->setAlignment(Qt::AlignRight);
        e->setMaxLength(8);
        e->installEventFilter(this);
    }
    grid->addWidget(new QLabel(QStringLiteral("Cmd-Block Regs"), gbAdr), 0, 0);
    grid->addWidget(eBaseAdr, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Control Regs"), gbAdr), 1, 0);
    grid->addWidget(eAltAdr, 1, 1);

    bbOk = new QPushButton(QStringLiteral("OK"), this);
    bbOk->setObjectName(QStringLiteral("bbOk"));
    bbOk->setDefault(true);
    bbOk->setEnabled(false);
    bbCancel = new QPushButton(QStringLiteral("Cancel"), this);
    bbCancel->setObjectName(QStringLiteral("bbCancel"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(bbOk);
    buttons->addWidget(bbCancel);
    auto* main = new QVBoxLayout(this);
    main->addWidget(gbName);
    main->addWidget(gbAdr);
    main->addLayout(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(300, 0)));

    for (QLineEdit* e : {ePortName, eBaseAdr, eAltAdr})
        connect(e, &QLineEdit::textChanged, this, &TfrmAddPort::ePortNameChange);
    connect(bbOk, &QPushButton::clicked, this, &TfrmAddPort::bbOkClick);
    connect(bbCancel, &QPushButton::clicked, this, &QDialog::reject);

    // Centred on the main window; at the first selection, while the main
    // window is not shown yet, on the window that asks.
    QWidget* anchor = owner ? owner->window() : nullptr;
    if (MainShell() && MainShell()->Window() && MainShell()->Window()->isVisible())
        anchor = MainShell()->Window();
    if (anchor)
        move(anchor->frameGeometry().center() - rect().center());
}

void TfrmAddPort::ePortNameChange()
{
    bbOk->setEnabled(!ePortName->text().trimmed().isEmpty() && !eBaseAdr->text().trimmed().isEmpty() &&
                     !eAltAdr->text().trimmed().isEmpty());
}

bool TfrmAddPort::eAltAdrKeyPress(QChar key)
{
    const char16_t c = key.unicode();
    const bool accepted = c == u'\b' || c == u'\r' || c == u'\n' || (c >= u'0' && c <= u'9') ||
                          (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
    if (!accepted)
        Beep();
    return !accepted;
}

bool TfrmAddPort::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == eBaseAdr || watched == eAltAdr) && event->type() == QEvent::KeyPress) {
        const auto* k = static_cast<QKeyEvent*>(event);
        // Only typed characters are filtered: editing keys, shortcuts (copy,
        // paste) and navigation go their normal way.  Pasted text is checked
        // on OK.
        const QString t = k->text();
        if (t.size() == 1 && t[0].isPrint() && !(k->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
            return eAltAdrKeyPress(t[0]);
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmAddPort::bbOkClick()
{
    for (QLineEdit* e : {eBaseAdr, eAltAdr}) {
        const QString why = CheckManualPortText(e->text());
        if (!why.isEmpty()) {
            ShowError(this, why);
            e->setFocus();
            e->selectAll();
            return;
        }
    }
    accept();
}
