#include "app/HelpViewer.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QShortcut>
#include <QTextBrowser>
#include <QVBoxLayout>

const std::vector<HelpTopic>& HelpTopics()
{
    static const std::vector<HelpTopic> topics = {
        {0, "Voran.html"},           {1, "main.html"},         {2, "select.html"},
        {3, "settings.html"},        {4, "defectscope.html"},  {5, "start.html"},  {10, "identify.html"},
        {20, "smart.html"},          {30, "password.html"},    {40, "hpa.html"},
        {100, "scan.html"},          {110, "scanparam.html"},  {200, "stress.html"},
        {300, "erase.html"},         {310, "eraseparam.html"}, {400, "softbad.html"},
        {410, "softbadparam.html"},  {1050, "securityerase.html"},
    };
    return topics;
}

QString HelpTopicFile(int context)
{
    for (const HelpTopic& t : HelpTopics())
        if (t.context == context)
            return QString::fromLatin1(t.file);
    return QString::fromLatin1(HelpTopics().front().file);
}

THelpViewer::THelpViewer(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("HelpViewer"));
    setWindowTitle(QStringLiteral("Справка Voran"));
    setAttribute(Qt::WA_DeleteOnClose, false);

    Browser = new QTextBrowser(this);
    Browser->setObjectName(QStringLiteral("Browser"));
    Browser->setOpenExternalLinks(false);
    bbContents = new QPushButton(QStringLiteral("Содержание"), this);
    bbBack = new QPushButton(QStringLiteral("Назад"), this);
    bbClose = new QPushButton(QStringLiteral("Закрыть"), this);
    bbBack->setEnabled(false);

    auto* top = new QHBoxLayout;
    top->addWidget(bbContents);
    top->addWidget(bbBack);
    top->addStretch();
    top->addWidget(bbClose);
    auto* main = new QVBoxLayout(this);
    main->addLayout(top);
    main->addWidget(Browser, 1);
    resize(680, 600);

    connect(bbContents, &QPushButton::clicked, this, [this] {
        if (!m_contents.isEmpty())
            Browser->setSource(QUrl::fromLocalFile(m_contents));
    });
    connect(bbBack, &QPushButton::clicked, Browser, &QTextBrowser::backward);
    connect(Browser, &QTextBrowser::backwardAvailable, bbBack, &QPushButton::setEnabled);
    connect(bbClose, &QPushButton::clicked, this, &QWidget::close);
    new QShortcut(QKeySequence(Qt::Key_Escape), this, [this] { close(); });
}

void THelpViewer::Open(const QString& fileName)
{
    m_contents = QFileInfo(fileName).absolutePath() + QLatin1Char('/') + HelpTopicFile(0);
    Browser->setSource(QUrl::fromLocalFile(fileName));
}

QString THelpViewer::CurrentFile() const { return Browser->source().toLocalFile(); }

AppHelpService::~AppHelpService()
{
    delete m_viewer.data();
}

void AppHelpService::ShowContext(QWidget* parent, int context)
{
    const QString helpFile = HelpFile();
    const QString page = QFileInfo(helpFile).absolutePath() + QLatin1Char('/') + HelpTopicFile(context);
    if (helpFile.isEmpty() || !QFileInfo::exists(page)) {
        ShowError(parent, QStringLiteral("Файл справки не найден:\n%1").arg(helpFile.isEmpty() ? page : QDir::toNativeSeparators(page)));
        return;
    }
    // The viewer belongs to the window that asks, so that it can be used
    // beside a modal tool window.
    QWidget* owner = parent ? parent->window() : nullptr;
    if (!m_viewer)
        m_viewer = new THelpViewer(owner);
    else if (m_viewer->parentWidget() != owner)
        m_viewer->setParent(owner, Qt::Window);
    m_viewer->Open(page);
    m_viewer->show();
    m_viewer->raise();
    m_viewer->activateWindow();
}

void AppHelpService::ShowContents(QWidget* parent) { ShowContext(parent, 0); }
