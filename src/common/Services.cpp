#include "common/Services.h"

#include "common/Shell.h"
#include "common/WindowPlace.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <atomic>

namespace {

MessageService* gMessages = nullptr;
HelpService* gHelp = nullptr;
QString gHelpFile;
std::atomic<int> gBeeps{0};
std::atomic<bool> gSilent{false};

QString BoxCaption(QWidget* parent)
{
    QWidget* top = parent ? parent->window() : QApplication::activeWindow();
    if (top && !top->windowTitle().isEmpty())
        return top->windowTitle();
    // The program's title, as the main window carries it.
    if (Shell* shell = MainShell(); shell && !shell->Caption().isEmpty())
        return shell->Caption();
    return QApplication::applicationDisplayName();
}

class RealMessages : public MessageService {
public:
    MsgAnswer Show(QWidget* parent, MsgKind kind, const QString& text) override
    {
        QMessageBox box(parent);
        box.setWindowTitle(BoxCaption(parent));
        // Centred on the window it belongs to, frames included (on the
        // screen when that window is not shown).
        PlaceCentred(&box, parent ? parent->window() : nullptr);
        box.setText(text);
        switch (kind) {
        case MsgKind::Error:
            box.setIcon(QMessageBox::Critical);
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case MsgKind::Warning:
            box.setIcon(QMessageBox::Warning);
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case MsgKind::Information:
            box.setIcon(QMessageBox::Information);
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case MsgKind::InformationYes:
            box.setIcon(QMessageBox::Information);
            box.setStandardButtons(QMessageBox::Yes);
            break;
        case MsgKind::Question:
            box.setIcon(QMessageBox::Question);
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        }
        const int r = box.exec();
        switch (r) {
        case QMessageBox::Yes: return MsgAnswer::Yes;
        case QMessageBox::No: return MsgAnswer::No;
        case QMessageBox::Ok: return MsgAnswer::Ok;
        default: return kind == MsgKind::Question ? MsgAnswer::No : MsgAnswer::Cancel;
        }
    }
};

RealMessages gReal;

}  // namespace

MsgAnswer ShowMessage(QWidget* parent, MsgKind kind, const QString& text)
{
    MessageService* s = gMessages ? gMessages : &gReal;
    return s->Show(parent, kind, text);
}

void SetMessageService(MessageService* service) { gMessages = service; }

MessageRecorder::MessageRecorder() { SetMessageService(this); }
MessageRecorder::~MessageRecorder()
{
    if (gMessages == this)
        SetMessageService(nullptr);
}

MsgAnswer MessageRecorder::Show(QWidget*, MsgKind kind, const QString& text)
{
    shown.push_back({kind, text});
    if (onShow)
        onShow(shown.back());
    if (!answers.empty()) {
        const MsgAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    switch (kind) {
    case MsgKind::Question: return defaultQuestionAnswer;
    case MsgKind::InformationYes: return MsgAnswer::Yes;
    default: return MsgAnswer::Ok;
    }
}

QStringList MessageRecorder::Texts() const
{
    QStringList l;
    for (const Entry& e : shown)
        l << e.text;
    return l;
}

void Beep()
{
    ++gBeeps;
    if (!gSilent.load() && qobject_cast<QApplication*>(QCoreApplication::instance()))
        QApplication::beep();
}

int BeepCount() { return gBeeps.load(); }
void SetBeepSilent(bool silent) { gSilent = silent; }

void SetHelpService(HelpService* service) { gHelp = service; }

void ShowHelpContext(QWidget* parent, int context)
{
    if (gHelp)
        gHelp->ShowContext(parent, context);
}

void ShowHelpContents(QWidget* parent)
{
    if (gHelp)
        gHelp->ShowContents(parent);
}

void SetHelpFile(const QString& path) { gHelpFile = path; }
QString HelpFile() { return gHelpFile; }

HelpRecorder::HelpRecorder() { SetHelpService(this); }
HelpRecorder::~HelpRecorder()
{
    if (gHelp == this)
        SetHelpService(nullptr);
}

void ShowApplicationError(QWidget* parent, const QString& text)
{
    ShowMessage(parent, MsgKind::Error, text);
}
