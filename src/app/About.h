#pragma once
// The About window: the product name, the picture and the file version.
#include <QDialog>

class QLabel;
class QPushButton;

// The About picture, decoded from the JPEG the program ships with.  A null
// image and the reason when it cannot be read.
QImage AboutPicture(QString* error = nullptr);

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget* owner = nullptr);

    QLabel* ProductName;
    QLabel* Picture;
    QLabel* Version;
    QPushButton* bbOk;
};
