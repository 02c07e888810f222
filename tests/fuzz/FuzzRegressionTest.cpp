// The inputs of the fuzz targets: the seeds, and every input that ever
// found a fault (fuzz/regression/<target>/), through the functions the
// fuzzers run.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "FuzzTargets.h"

namespace {

void FeedAll(const char* target, bool (*function)(const uint8_t*, size_t))
{
    int fed = 0;
    for (const char* kind : {"seeds", "regression"}) {
        const QDir dir(QStringLiteral(VORAN_FUZZ_DIR "/%1/%2").arg(QLatin1String(kind), QLatin1String(target)));
        for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
            QFile f(dir.filePath(name));
            ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << name.toStdString();
            const QByteArray bytes = f.readAll();
            EXPECT_TRUE(function(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())))
                << kind << "/" << target << "/" << name.toStdString();
            ++fed;
        }
    }
    EXPECT_GT(fed, 0) << "no inputs for " << target;
}

}  // namespace

TEST(FuzzRegression, MachineFiles) { FeedAll("machine", &fuzz::MachineFile); }
TEST(FuzzRegression, StateFiles) { FeedAll("state", &fuzz::StateFile); }
TEST(FuzzRegression, IniFiles) { FeedAll("ini", &fuzz::IniFile); }
