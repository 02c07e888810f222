#pragma once
// The parameter dialog of soft-bad creation ("Создание Soft-Bad"): the range
// and how its sectors are chosen.
#include <QDialog>
#include <cstdint>

class Int64SpinBox;
class LbaRangeFields;
class QPushButton;
class RadioGroup;

class TfrmMakeBadParam : public QDialog {
    Q_OBJECT
public:
    explicit TfrmMakeBadParam(QWidget* parent = nullptr);

    // Both range fields run from 0 to `lastLba`; the end shows it.
    void Setup(int64_t lastLba);

    LbaRangeFields* gbAdres;
    Int64SpinBox* speStartLBA;
    Int64SpinBox* speStopLBA;
    RadioGroup* rgbKind;  // 0 "Случайны выбор", 1 "Непрерывно"
    QPushButton* bbOk;
    QPushButton* bbCancel;
    QPushButton* bbHelp;

    int64_t StartLBA() const;
    int64_t EndLBA() const;
    bool RandomMode() const;  // item 0

    // OK may close the dialog only when the end is not below the start.
    bool FormCloseQuery();
    void bbHelpClick();

public slots:
    void accept() override;
};
