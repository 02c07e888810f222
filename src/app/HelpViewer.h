#pragma once
// The built-in help viewer: the help file in Help/ beside the executable, a
// contents page and one page per context number.
#include <QPointer>
#include <QWidget>
#include <vector>

#include "common/Services.h"

class QPushButton;
class QTextBrowser;

struct HelpTopic {
    int context;       // 0 = contents
    const char* file;  // beside the contents page
};
// Every context number the program opens, and the pages of its own that
// have no number in the windows (main window 1, selection 2, settings 3,
// defect scope 4, start-up and command line 5).
const std::vector<HelpTopic>& HelpTopics();
// The page of a context number; the contents page for 0 and for numbers
// without a page of their own.
QString HelpTopicFile(int context);

class THelpViewer : public QWidget {
    Q_OBJECT
public:
    explicit THelpViewer(QWidget* parent = nullptr);
    void Open(const QString& fileName);
    QString CurrentFile() const;

    QTextBrowser* Browser;
    QPushButton* bbContents;
    QPushButton* bbBack;
    QPushButton* bbClose;

private:
    QString m_contents;
};

// The HelpService of the program: opens the viewer at the page of a context
// number.  The help file is HelpFile() (ExeDir + "Help/Voran.html").
class AppHelpService : public HelpService {
public:
    ~AppHelpService() override;
    void ShowContext(QWidget* parent, int context) override;
    void ShowContents(QWidget* parent) override;
    THelpViewer* Viewer() const { return m_viewer; }

private:
    QPointer<THelpViewer> m_viewer;
};
