// Long use in one process: thousands of runs with Init between them, every
// result checked, and the memory the process holds must settle; then Exit.
// The "session" row is the short session the valgrind test runs.

#include "tst_release_support.h"

#include <unistd.h>

using namespace sesame::testing;

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer holds freed memory back (its quarantine): the resident
// size says nothing there. Its leak check at exit speaks instead.
constexpr bool MeasureMemory = false;
#else
constexpr bool MeasureMemory = true;
#endif
// The memory is measured from this run on: by then every cache a run fills
// (glyphs, the board's stamps, the window's backing store) is full.
constexpr int SettledRun = 10;
constexpr long AllowedGrowthKb = 2048;

// The count buttons in the order the runs take them: mostly small runs, one
// in twenty of 10,000 seeds and one in twenty of 50,000.
constexpr std::array<int, 20> Rotation = {1, 2, 3, 1, 2, 3, 1, 2, 3, 4, 1, 2, 3, 1, 2, 3, 1, 2, 3, 7};

// VmRSS in kilobytes: the second field of statm, in pages.
static long residentKilobytes()
{
    const QList<QByteArray> statm = readFile(QStringLiteral("/proc/self/statm")).split(' ');
    return statm.value(1).toLong() * ::sysconf(_SC_PAGESIZE) / 1024;
}

class tst_endurance : public QObject
{
    Q_OBJECT

private slots:
    void runs_data()
    {
        QTest::addColumn<int>("runs");
        QTest::newRow("session") << 4;
        QTest::newRow("2000 runs") << 2000;
    }

    void runs()
    {
        QFETCH(int, runs);
        ProgramWindow program;
        QVERIFY(QTest::qWaitForWindowExposed(&program.form));
        long settledKb = 0;
        for (int run = 1; run <= runs; ++run) {
            QCOMPARE(program.run(Rotation.at(static_cast<std::size_t>(run) % Rotation.size())), QString());
            program.click(InitButton);
            QVERIFY(program.captionsCleared());
            if (run == SettledRun)
                settledKb = residentKilobytes();
        }
        if (MeasureMemory && runs > SettledRun) {
            const long growthKb = residentKilobytes() - settledKb;
            QVERIFY(settledKb > 0);
            QVERIFY2(growthKb < AllowedGrowthKb, qPrintable(QStringLiteral("VmRSS grew by %1 kB").arg(growthKb)));
        }
        QCOMPARE(program.exitAnsweringOk(), 0);
    }
};

QTEST_MAIN(tst_endurance)
#include "tst_endurance.moc"
