#pragma once
// The erase's parameter dialog ("Стирание накопителя"): the range, the block
// size and the filler.
#include <QDialog>
#include <QRandomGenerator>
#include <cstdint>
#include <optional>

class Int64SpinBox;
class LbaRangeFields;
class QAction;
class QLineEdit;
class QMenu;
class QPushButton;
class RadioGroup;

class TfrmEraseParam : public QDialog {
    Q_OBJECT
public:
    explicit TfrmEraseParam(QWidget* parent = nullptr);

    // Both range fields run from 0 to `lastLba`; the end shows it.
    void Setup(int64_t lastLba);

    Int64SpinBox* speLBA1;  // start
    Int64SpinBox* speLBA2;  // end (not written)
    RadioGroup* rgbCountSector;
    RadioGroup* rgbRandomPatern;
    QLineEdit* ePatern;
    QMenu* PopupMenu;
    QAction* N1;  // "Случайно"
    QPushButton* bbOk;
    QPushButton* bbCancel;
    QPushButton* bbHelp;

    int64_t StartLBA() const;
    int64_t EndLBA() const;
    int SectorsPerCommand() const;  // 256 or 1
    bool RandomFiller() const;      // item 0 of rgbRandomPatern
    // The filler field read as hexadecimal; nothing when it is empty.
    std::optional<uint8_t> FillerByte() const;

    // OK may close the dialog: the end not below the start and a filler
    // given; otherwise it says why and stays open.
    bool FormCloseQuery();

    void rgbRandomPaternClick();
    void N1Click();
    void bbHelpClick();

public slots:
    void accept() override;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    LbaRangeFields* m_range;
    QRandomGenerator m_random;
};
