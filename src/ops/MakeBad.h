#pragma once
// The soft-bad creation window ("Создание Soft-Bad", Операции → Создать
// Soft-Bad...): turns every sector of a range, in order, or randomly chosen
// sectors of it until stopped, into soft-bad sectors.  Refused for drives in
// 48-bit mode.
#include <QRandomGenerator>
#include <QString>
#include <cstdint>
#include <functional>

#include "ops/PassForm.h"

class TfrmMakeBadParam;

class TfrmMakeBAd : public TSectorPassForm {
    Q_OBJECT
public:
    explicit TfrmMakeBAd(QWidget* owner = nullptr);

    // How "Config" asks for the parameters: true when the dialog closed with
    // OK (tests answer it themselves).
    std::function<bool(TfrmMakeBadParam&)> ParamDialog;
    // The command for one sector (MakeSoftBad; a test may watch it).
    std::function<int32_t(int64_t lba)> MakeBadCommand;

    // "Config": identify, the refusal of a 48-bit drive, the dialog, the pass.
    void bbStartClick();

    bool RandomMode() const { return m_randomMode; }
    // Soft-bad sectors made by the last random pass.
    int64_t Created() const { return m_created; }

private:
    void RunMakeBad();
    void RunRandom();
    void RunContinuous();
    // Sends the command for one sector; on failure a reset and a beep.
    bool MakeOne(int64_t lba);

    QString m_model;
    bool m_lba48 = false;
    bool m_randomMode = true;
    int64_t m_created = 0;
    bool m_refused = false;  // the drive is in use: the pass ended
    QRandomGenerator m_random;
};

// The main menu's command: the window with `owner` as owner, modal, and
// destroyed when it closes.
void ShowMakeBadWindow(QWidget* owner);
