// The lamp and the two register rows: layout, colours, bevels, and the
// RegValue setter's event processing.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QMetaObject>

#include "monitor/KVErrorReg.h"
#include "monitor/KVLed.h"
#include "monitor/KVStatusReg.h"

namespace {

QColor FaceOf(const TKVCustomRegister& r, int bit) { return r.Led(bit)->Face()->Color(); }

// Gives a test the per-bit colour access the register kinds have.
template <class Reg>
class Probe : public Reg {
public:
    using Reg::SetLedActiveColor;
    using Reg::SetLedInactiveColor;
};

const QColor kBlue(0, 0, 255);
const QColor kYellow(255, 255, 0);

}  // namespace

TEST(KVLed, NewLampIsALitLimeBorderedLampCaptionedText)
{
    TKVLed led;
    EXPECT_EQ(led.size(), QSize(36, 32));
    EXPECT_EQ(led.Face()->geometry(), QRect(8, 4, 22, 10));
    EXPECT_EQ(led.Caption()->pos(), QPoint(1, 17));
    EXPECT_EQ(led.Caption()->width(), 34);
    EXPECT_TRUE(led.Caption()->alignment() & Qt::AlignHCenter);
    EXPECT_EQ(led.Caption()->text(), "Text");
    EXPECT_EQ(led.LedStyle(), lsBorder);
    EXPECT_EQ(led.Face()->BevelInner(), TBevelCut::bvLowered);
    EXPECT_EQ(led.Face()->BevelOuter(), TBevelCut::bvRaised);
    EXPECT_EQ(led.ActiveColor(), kvcolor::clLime);
    EXPECT_EQ(led.InactiveColor(), kvcolor::clBtnFace());
    EXPECT_TRUE(led.LedState());
    EXPECT_EQ(led.Face()->Color(), kvcolor::clLime);
}

TEST(KVLed, StylesSetTheBevelsAndAnUnknownStyleKeepsThem)
{
    TKVLed led;
    struct Row {
        TLedStyle style;
        TBevelCut inner, outer;
    };
    const Row rows[] = {{lsUp, TBevelCut::bvNone, TBevelCut::bvRaised},
                        {lsDown, TBevelCut::bvLowered, TBevelCut::bvNone},
                        {lsNone, TBevelCut::bvNone, TBevelCut::bvNone},
                        {lsBorder, TBevelCut::bvLowered, TBevelCut::bvRaised}};
    for (const Row& r : rows) {
        led.SetLedStyle(r.style);
        EXPECT_EQ(led.Face()->BevelInner(), r.inner) << r.style;
        EXPECT_EQ(led.Face()->BevelOuter(), r.outer) << r.style;
    }
    led.SetLedStyle(lsDown);
    led.SetLedStyle(static_cast<TLedStyle>(7));
    EXPECT_EQ(int(led.LedStyle()), 7);
    EXPECT_EQ(led.Face()->BevelInner(), TBevelCut::bvLowered);
    EXPECT_EQ(led.Face()->BevelOuter(), TBevelCut::bvNone);
    // Through the published property as well.
    led.setProperty("LedStyle", 9);
    EXPECT_EQ(int(led.LedStyle()), 9);
    EXPECT_EQ(led.Face()->BevelOuter(), TBevelCut::bvNone);
}

TEST(KVLed, AColourForTheOtherStateIsStoredAndShowsOnlyWhenTheStateComes)
{
    TKVLed led;
    led.SetInactiveColor(kBlue);  // lit: the face stays lime
    EXPECT_EQ(led.Face()->Color(), kvcolor::clLime);
    led.SetLedState(false);
    EXPECT_EQ(led.Face()->Color(), kBlue);
    led.SetActiveColor(kvcolor::clRed);  // dark: the face stays blue
    EXPECT_EQ(led.Face()->Color(), kBlue);
    EXPECT_EQ(led.ActiveColor(), kvcolor::clRed);
    led.SetLedState(true);
    EXPECT_EQ(led.Face()->Color(), kvcolor::clRed);
    led.SetText("BSY");
    EXPECT_EQ(led.Caption()->text(), "BSY");
}

TEST(KVRegister, StatusAndErrorRowsAreBuiltWithTheirCaptionsAndColours)
{
    TKVStatusReg status;
    TKVErrorReg error;
    const char* statusNames[8] = {"ERR", "INX", "CORR", "DRQ", "DSC", "WFT", "DRDY", "BSY"};
    const char* errorNames[8] = {"AMNF", "TONF", "ABRT", "0", "IDNF", "0", "UNC", "BBK"};
    EXPECT_EQ(status.title(), "Регистр состояния");
    EXPECT_EQ(error.title(), "Регистр ошибок");
    for (const TKVCustomRegister* r : {static_cast<TKVCustomRegister*>(&status), static_cast<TKVCustomRegister*>(&error)}) {
        EXPECT_EQ(r->size(), QSize(295, 56));
        EXPECT_EQ(r->RegValue(), 255);
        EXPECT_EQ(r->EventPasses(), 0);  // construction lets no events run
        for (int bit = 0; bit < 8; ++bit) {
            EXPECT_EQ(r->Led(bit)->pos(), QPoint(4 + 36 * (7 - bit), 16)) << bit;
            EXPECT_TRUE(r->Led(bit)->LedState());
            EXPECT_EQ(r->Led(bit)->InactiveColor(), kvcolor::clSilver);
        }
    }
    for (int bit = 0; bit < 8; ++bit) {
        EXPECT_EQ(status.Led(bit)->Text(), statusNames[bit]);
        EXPECT_EQ(error.Led(bit)->Text(), errorNames[bit]);
        const bool trouble = bit == 0 || bit == 2;
        EXPECT_EQ(FaceOf(status, bit), trouble ? kvcolor::clRed : kvcolor::clLime) << bit;
        EXPECT_EQ(FaceOf(error, bit), kvcolor::clRed) << bit;
    }
    EXPECT_EQ(status.ActiveColorOK(), kvcolor::clLime);
    EXPECT_EQ(status.ActiveColorErr(), kvcolor::clRed);
    EXPECT_EQ(error.ActiveColorOK(), kvcolor::clRed);
    EXPECT_EQ(error.InactiveColor(), kvcolor::clSilver);
    // A plain register carries the neutral captions.
    TKVCustomRegister plain;
    EXPECT_EQ(plain.title(), "8-ми битный регистр");
    EXPECT_EQ(plain.Led(7)->Text(), "Bit7");
    EXPECT_EQ(plain.Led(0)->Text(), "Bit0");
}

TEST(KVRegister, RegValueLightsTheMatchingLampsInTheirGroupColours)
{
    TKVStatusReg status;
    status.SetRegValue(0x51);  // DRDY, DSC, ERR
    const bool expected[8] = {true, false, false, false, true, false, true, false};
    for (int bit = 0; bit < 8; ++bit)
        EXPECT_EQ(status.Led(bit)->LedState(), expected[bit]) << bit;
    EXPECT_TRUE(status.Bit0() && status.Bit4() && status.Bit6());
    EXPECT_FALSE(status.Bit7() || status.Bit5() || status.Bit3() || status.Bit2() || status.Bit1());
    EXPECT_EQ(FaceOf(status, 0), kvcolor::clRed);
    EXPECT_EQ(FaceOf(status, 4), kvcolor::clLime);
    EXPECT_EQ(FaceOf(status, 6), kvcolor::clLime);
    EXPECT_EQ(FaceOf(status, 7), kvcolor::clSilver);
    EXPECT_EQ(FaceOf(status, 2), kvcolor::clSilver);

    status.SetRegValue(0);
    for (int bit = 0; bit < 8; ++bit)
        EXPECT_EQ(FaceOf(status, bit), kvcolor::clSilver) << bit;
    status.SetRegValue(255);
    for (int bit = 0; bit < 8; ++bit)
        EXPECT_TRUE(status.Led(bit)->LedState()) << bit;
    EXPECT_EQ(status.property("RegValue").toInt(), 255);
}

TEST(KVRegister, OnlyAChangedRegValueLetsPendingEventsRun)
{
    TKVErrorReg error;
    bool ran = false;
    QMetaObject::invokeMethod(qApp, [&] { ran = true; }, Qt::QueuedConnection);
    error.SetRegValue(255);  // unchanged
    EXPECT_FALSE(ran);
    EXPECT_EQ(error.EventPasses(), 0);
    error.SetRegValue(0x04);
    EXPECT_TRUE(ran);
    EXPECT_EQ(error.EventPasses(), 1);
    error.SetRegValue(0x04);
    EXPECT_EQ(error.EventPasses(), 1);
}

TEST(KVRegister, ColourGroupsCompareWithTheirReferenceBitOnly)
{
    Probe<TKVStatusReg> status;
    // Bit 2 got another lit colour through the per-bit access; setting the
    // error colour to bit 0's present colour leaves it alone.
    status.SetLedActiveColor(2, kBlue);
    status.SetActiveColorErr(kvcolor::clRed);
    EXPECT_EQ(status.Led(2)->ActiveColor(), kBlue);
    status.SetActiveColorErr(kYellow);
    EXPECT_EQ(status.Led(0)->ActiveColor(), kYellow);
    EXPECT_EQ(status.Led(2)->ActiveColor(), kYellow);
    EXPECT_EQ(status.Led(1)->ActiveColor(), kvcolor::clLime);

    status.SetLedActiveColor(3, kBlue);
    status.SetActiveColorOK(kvcolor::clLime);  // bit 7's colour: no change
    EXPECT_EQ(status.Led(3)->ActiveColor(), kBlue);
    status.SetActiveColorOK(kBlue);
    for (int bit : {1, 3, 4, 5, 6, 7})
        EXPECT_EQ(status.Led(bit)->ActiveColor(), kBlue) << bit;
    EXPECT_EQ(status.Led(0)->ActiveColor(), kYellow);

    status.SetLedInactiveColor(5, kYellow);
    status.SetInactiveColor(kvcolor::clSilver);  // bit 0's dark colour: no change
    EXPECT_EQ(status.Led(5)->InactiveColor(), kYellow);
    status.SetInactiveColor(kBlue);
    for (int bit = 0; bit < 8; ++bit)
        EXPECT_EQ(status.Led(bit)->InactiveColor(), kBlue) << bit;
}
