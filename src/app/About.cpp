#include "app/About.h"

#include <QFile>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "app/JpegImage.h"
#include "common/DriveContext.h"

static void InitAboutResources() { Q_INIT_RESOURCE(Voran); }

QImage AboutPicture(QString* error)
{
    InitAboutResources();
    QFile f(QStringLiteral(":/voran/AboutPicture.jpg"));
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("нет файла рисунка");
        return QImage();
    }
    return DecodeJpeg(f.readAll(), error);
}

TfrmAbout::TfrmAbout(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("О программе"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    ProductName = new QLabel(QStringLiteral("VORAN"), this);
    ProductName->setObjectName(QStringLiteral("ProductName"));
    QFont big = ProductName->font();
    big.setPointSize(big.pointSize() * 2 + 4);
    big.setBold(true);
    ProductName->setFont(big);
    ProductName->setAlignment(Qt::AlignCenter);

    Picture = new QLabel(this);
    Picture->setObjectName(QStringLiteral("Picture"));
    Picture->setAlignment(Qt::AlignCenter);
    Picture->setFrameShape(QFrame::StyledPanel);
    Picture->setFrameShadow(QFrame::Sunken);
    QString why;
    const QImage img = AboutPicture(&why);
    if (img.isNull())
        Picture->setText(QStringLiteral("Рисунок не удалось прочитать: %1").arg(why));
    else
        Picture->setPixmap(QPixmap::fromImage(img));

    Version = new QLabel(QStringLiteral("v2.0"), this);
    Version->setObjectName(QStringLiteral("Version"));
    Version->setAlignment(Qt::AlignCenter);
    Version->setText(Ctx().FileVersion);

    bbOk = new QPushButton(QStringLiteral("OK"), this);
    bbOk->setObjectName(QStringLiteral("bbOk"));
    bbOk->setDefault(true);
    connect(bbOk, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(bbOk);
    buttons->addStretch();
    auto* main = new QVBoxLayout(this);
    main->addWidget(ProductName);
    main->addWidget(Picture);
    main->addWidget(Version);
    main->addLayout(buttons);
    setFixedSize(sizeHint());
    if (QScreen* s = QGuiApplication::primaryScreen())
        move(s->geometry().center() - rect().center());
}
