// The stress test window on QEMU's largest drive, run as the program runs
// it (its loop on the UI thread): seeks and verifies, at the ends of the
// range and at random, 1.5 s each (0.3 s on the simulated mirror), with no
// failed command.
#include <algorithm>
#include <chrono>

#include "AtaHelpers.h"
#include "GuestCheck.h"
#include "GuestQt.h"
#include "common/Services.h"
#include "select/RadioGroup.h"
#include "surface/Int64SpinBox.h"
#include "surface/SeekTest.h"

#include <QLineEdit>
#include <QLineSeries>
#include <QRadioButton>

using namespace guest;

GUEST_CHECK(stress, seek_and_verify_at_the_ends_and_at_random)
{
    EnsureApplication();
    MessageRecorder messages;
    const DriveInfo& d = *std::max_element(c.Drives().begin(), c.Drives().end(),
                                           [](const DriveInfo& a, const DriveInfo& b) { return a.bytes < b.bytes; });
    c.Connect(d);
    const auto runTime = std::chrono::milliseconds(c.Simulated() ? 300 : 1500);
    for (int command : {0, 1}) {
        for (int kind : {0, 1}) {
            const std::string what = d.id + (command ? ": verify" : ": seek") + (kind ? ", random" : ", ends");
            messages.Clear();
            TfrmSeekTest f(nullptr);
            if (!c.Expect(f.Identified(), what + ": the window did not identify the drive"))
                return;
            f.rgbKind->SetItemIndex(kind);
            f.rgbCommand->Button(command)->setChecked(true);
            // QEMU's drives say 48-bit: seeks stay within words 60-61 (at most 0x0FFFFFFF sectors).
            const uint64_t last = command == 0 ? std::min<uint64_t>(d.Sectors(), 0x0FFFFFFF) - 1 : d.Sectors() - 1;
            c.ExpectEq(uint64_t(f.speLBA2->value()), last, what + ": end of the offered range");
            c.ExpectEq(messages.Texts().join(QLatin1Char('|')).toStdString(),
                       command == 0 ? stress::kSeekNeedsLba28.toStdString() : std::string(), what + ": messages");

            const auto end = std::chrono::steady_clock::now() + runTime;
            QObject::connect(&f, &TfrmSeekTest::CommandDone, &f, [&] {
                if (std::chrono::steady_clock::now() >= end)
                    f.bbStopClick();
            });
            f.bbStartClick();  // returns when stopped (or stopped by a failure)

            const stress::TimeStats& s = f.Stats();
            c.Expect(s.commands >= 5, what + ": only " + std::to_string(s.commands) + " commands");
            c.ExpectEq(s.errors, int64_t(0), what + ": failed commands (" + LastOutcome() + ")");
            c.ExpectEq(f.windowTitle().toStdString(), "Стресс-тест: " + d.model + " - Отменено", what + ": caption");
            // QEMU's SMART has no temperature attribute: an empty text, no points.
            c.ExpectEq(f.mTemperature->text().toStdString(), std::string(), what + ": temperature");
            c.ExpectEq(f.Series1->count(), 0, what + ": temperature points");
            c.Note(what + ": " + std::to_string(s.commands) + " commands, min/avg/max " +
                   f.mMinTime->text().trimmed().toStdString() + " / " + f.mAvgTime->text().trimmed().toStdString() +
                   " / " + f.mMaxTime->text().trimmed().toStdString());
        }
    }
}
