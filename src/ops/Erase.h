#pragma once
// The drive erase window ("Стирание накопителя", Операции → Стереть HDD...):
// writes a filler over a range of sectors in blocks of 256 or one sector,
// on the UI thread, with a once-a-second estimate of the time left.
#include <QString>
#include <cstdint>
#include <functional>

#include "ops/PassForm.h"

class TfrmEraseParam;

class TfrmErase : public TSectorPassForm {
    Q_OBJECT
public:
    explicit TfrmErase(QWidget* owner = nullptr);

    // How "Config" asks for the parameters: true when the dialog closed with
    // OK (tests answer it themselves).
    std::function<bool(TfrmEraseParam&)> ParamDialog;
    // The write of one block (EraseSector; a test may watch it).
    std::function<int32_t(int64_t lba, int64_t count, uint8_t lba48, uint8_t randomFill, uint8_t fillByte)>
        EraseCommand;

    // "Config": identify, the dialog, and the pass.
    void bbStartClick();

    bool Lba48() const { return m_lba48; }
    int SectorsPerCommand() const { return m_sectorsPerCommand; }
    bool RandomFill() const { return m_randomFill; }
    uint8_t FillByte() const { return m_fillByte; }

protected:
    // The close box during a pass does not stop it: the window closes when
    // the pass has ended.
    void closeEvent(QCloseEvent* e) override;

private:
    void RunEraseLoop();

    QString m_model;
    bool m_lba48 = false;
    int m_sectorsPerCommand = 256;
    bool m_randomFill = true;
    uint8_t m_fillByte = 0xFF;
    bool m_closeAfterPass = false;
};

// The main menu's command: the window with `owner` as owner, modal, and
// destroyed when it closes.
void ShowEraseWindow(QWidget* owner);
