#pragma once
// The range dialog of the surface scan ("Параметры проверки").
#include <QDialog>
#include <cstdint>

class QPushButton;
class Int64SpinBox;
class LbaRangeFields;

class TfrmScanParam : public QDialog {
    Q_OBJECT
public:
    explicit TfrmScanParam(QWidget* parent = nullptr);

    // Both fields get `endLimit` (the drive's capacity: the end is
    // exclusive) as their upper limit; the end shows it, or `lastStop` when
    // that is neither 0 nor above it; the start shows `lastStart` held
    // within the limits.
    void Setup(int64_t endLimit, int64_t lastStart, int64_t lastStop);

    int64_t StartLBA() const;
    int64_t StopLBA() const;

    Int64SpinBox* speStartLBA;
    Int64SpinBox* speStopLBA;
    QPushButton* bbOk;
    QPushButton* bbCancel;
    QPushButton* bbHelp;

    // The dialog may close with OK only when the end is above the start.
    bool FormCloseQuery();

public slots:
    void accept() override;
    void bbHelpClick();

private:
    LbaRangeFields* m_range;
};
