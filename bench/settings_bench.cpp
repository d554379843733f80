// Cost of the text utilities and the settings file that every window action
// goes through.
#include "platform/profile_file.h"
#include "util/persian_date.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace movan;

namespace {

void PersianDateEveryDay1990To2040(benchmark::State &state)
{
    const double first = toDateTimeValue(QDateTime(QDate(1990, 1, 1), QTime(12, 0)));
    const double last = toDateTimeValue(QDateTime(QDate(2040, 12, 31), QTime(12, 0)));
    for (auto _ : state) {
        for (double day = first; day <= last; day += 1)
            benchmark::DoNotOptimize(PersianDateStr(day));
    }
    state.counters["days"] = last - first + 1;
    state.counters["per_day_ns"] = benchmark::Counter((last - first + 1) * state.iterations(),
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(PersianDateEveryDay1990To2040)->Unit(benchmark::kMillisecond);

const char *const kKeys[] = {"Server", "ServerMachinName", "ServerIPAddress", "DataBaseName", "Type", "User", "Pass"};

void fillSettings(ProfileFile &file)
{
    for (const char *key : kKeys)
        file.writeString(QStringLiteral("DataBase"), QString::fromLatin1(key),
                         QStringLiteral("value-of-") + QString::fromLatin1(key));
}

void SettingsReadSevenKeys(benchmark::State &state)
{
    QTemporaryDir dir;
    ProfileFile file(dir.filePath(QStringLiteral("InitPrg.ini")));
    fillSettings(file);
    for (auto _ : state)
        for (const char *key : kKeys)
            benchmark::DoNotOptimize(file.readString(QStringLiteral("DataBase"), QString::fromLatin1(key), QString()));
}
BENCHMARK(SettingsReadSevenKeys)->Unit(benchmark::kMicrosecond);

// Each key is one atomic replacement of the file (temporary file, fsync,
// rename), as the confirm action writes them.
void SettingsWriteSevenKeys(benchmark::State &state)
{
    QTemporaryDir dir;
    ProfileFile file(dir.filePath(QStringLiteral("InitPrg.ini")));
    for (auto _ : state)
        fillSettings(file);
}
BENCHMARK(SettingsWriteSevenKeys)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
