#pragma once
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

class QWidget;

// ---- Message boxes -------------------------------------------------------
// The four kinds the program uses.
enum class MsgKind {
    Error,           // error icon, OK
    Information,     // information icon, OK
    Question,        // question icon, Yes and No
    InformationYes,  // information icon, a single Yes
    Warning,         // warning icon, OK
};
enum class MsgAnswer { Ok, Yes, No, Cancel };

class MessageService {
public:
    virtual ~MessageService() = default;
    virtual MsgAnswer Show(QWidget* parent, MsgKind kind, const QString& text) = 0;
};

// Shows a box through the installed service (real boxes by default).
MsgAnswer ShowMessage(QWidget* parent, MsgKind kind, const QString& text);
inline MsgAnswer ShowError(QWidget* parent, const QString& text) { return ShowMessage(parent, MsgKind::Error, text); }
inline MsgAnswer ShowInfo(QWidget* parent, const QString& text) { return ShowMessage(parent, MsgKind::Information, text); }
inline bool AskYesNo(QWidget* parent, const QString& text) { return ShowMessage(parent, MsgKind::Question, text) == MsgAnswer::Yes; }

// Replaces the service; null restores the real boxes.  Not owned.
void SetMessageService(MessageService* service);

// Records every box and answers from a script (tests).
class MessageRecorder : public MessageService {
public:
    struct Entry {
        MsgKind kind;
        QString text;
    };
    MessageRecorder();
    ~MessageRecorder() override;
    MsgAnswer Show(QWidget* parent, MsgKind kind, const QString& text) override;

    // Answers handed out in order; when they run out, OK boxes answer Ok and
    // questions answer `defaultQuestionAnswer`.
    std::deque<MsgAnswer> answers;
    MsgAnswer defaultQuestionAnswer = MsgAnswer::No;
    // Called while the "box" is open, to act as the user would meanwhile.
    std::function<void(const Entry&)> onShow;
    std::vector<Entry> shown;

    QStringList Texts() const;
    void Clear() { shown.clear(); }
};

// ---- Beep ----------------------------------------------------------------
void Beep();
// Number of beeps since the program started (tests count them).
int BeepCount();
// Tests switch the audible beep off.
void SetBeepSilent(bool silent);

// ---- Help ----------------------------------------------------------------
// Help is shown by a viewer that the application installs; without one the
// requests are only recorded.
class HelpService {
public:
    virtual ~HelpService() = default;
    virtual void ShowContext(QWidget* parent, int context) = 0;
    virtual void ShowContents(QWidget* parent) = 0;
};
void SetHelpService(HelpService* service);
void ShowHelpContext(QWidget* parent, int context);
void ShowHelpContents(QWidget* parent);

// The help file the application uses (ExeDir + "Help/Voran.html").
void SetHelpFile(const QString& path);
QString HelpFile();

class HelpRecorder : public HelpService {
public:
    HelpRecorder();
    ~HelpRecorder() override;
    void ShowContext(QWidget*, int context) override { contexts.push_back(context); }
    void ShowContents(QWidget*) override { contexts.push_back(0); }
    std::vector<int> contexts;  // 0 = contents page
};

// ---- Unexpected errors ---------------------------------------------------
// The application's default error box: reports an error nothing else handled.
void ShowApplicationError(QWidget* parent, const QString& text);
