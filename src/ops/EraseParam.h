#pragma once
// The erase's parameter dialog ("Стирание накопителя"): the range, the block
// size and the filler.  It closes with OK only when the end is not below the
// start and a filler is given.
#include <QRandomGenerator>
#include <cstdint>
#include <optional>

#include "common/RangeFields.h"

class Int64SpinBox;
class QAction;
class QLineEdit;
class QMenu;
class RadioGroup;

class TfrmEraseParam : public RangeParamDialog {
    Q_OBJECT
public:
    explicit TfrmEraseParam(QWidget* parent = nullptr);

    // Both range fields run from 0 to `lastLba`; the end shows it.
    void Setup(int64_t lastLba) { Range()->SetMaximum(lastLba); }

    Int64SpinBox* speLBA1;  // start
    Int64SpinBox* speLBA2;  // end (not written)
    RadioGroup* rgbCountSector;
    RadioGroup* rgbRandomPatern;
    QLineEdit* ePatern;
    QMenu* PopupMenu;
    QAction* N1;  // "Случайно"

    int64_t StartLBA() const { return Range()->Start(); }
    int64_t EndLBA() const { return Range()->End(); }
    int SectorsPerCommand() const;  // 256 or 1
    bool RandomFiller() const;      // item 0 of rgbRandomPatern
    // The filler field read as hexadecimal; nothing when it is empty.
    std::optional<uint8_t> FillerByte() const;

    bool FormCloseQuery() override;

    void rgbRandomPaternClick();
    void N1Click();

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    QRandomGenerator m_random;
};
