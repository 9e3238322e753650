// Long use in one process: thousands of runs with Init between them, every
// result checked, and the memory the process holds must settle.
//
// session() is the short session the valgrind test runs: start, a few runs,
// Init, Exit.

#include "tst_release_support.h"

#include <QLabel>
#include <QTest>

#include <array>

using namespace sesame;
using namespace sesame::testing;

namespace {

constexpr int Runs = 2000;
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

bool captionsCleared(Form1 &form)
{
    return form.label(2)->text().isEmpty() && form.label(4)->text().isEmpty();
}

} // namespace

class tst_endurance : public QObject
{
    Q_OBJECT

private slots:
    void manyRuns();
    void session();
};

void tst_endurance::manyRuns()
{
    ProgramWindow program;
    QVERIFY(QTest::qWaitForWindowExposed(&program.form));
    long settledKb = -1;
    for (int run = 1; run <= Runs; ++run) {
        const int button = Rotation[static_cast<std::size_t>(run) % Rotation.size()];
        program.click(button);
        QCoreApplication::processEvents(); // paints the run, as the event loop would
        const QString problem = captionProblem(program.form, runSizeOf(button));
        QVERIFY2(problem.isEmpty(), qPrintable(QStringLiteral("run %1: ").arg(run) + problem));
        program.click(InitButton);
        QCoreApplication::processEvents();
        QVERIFY2(captionsCleared(program.form), qPrintable(QStringLiteral("Init after run %1").arg(run)));
        if (run == SettledRun)
            settledKb = residentKilobytes();
    }
    const long finalKb = residentKilobytes();
    QVERIFY(settledKb > 0 && finalKb > 0);
    qDebug("resident memory after run %d: %ld kB, after run %d: %ld kB, growth %ld kB", SettledRun, settledKb, Runs,
           finalKb, finalKb - settledKb);
    if (MeasureMemory)
        QVERIFY2(finalKb - settledKb < AllowedGrowthKb, "the program's memory grows with its use");
}

void tst_endurance::session()
{
    ProgramWindow program;
    QVERIFY(QTest::qWaitForWindowExposed(&program.form));
    for (const int button : {1, 2, 3, 4}) {
        program.click(button);
        QCoreApplication::processEvents();
        const QString problem = captionProblem(program.form, runSizeOf(button));
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }
    program.click(InitButton);
    QVERIFY(captionsCleared(program.form));
    QCOMPARE(program.exitAnsweringOk(), 0);
    QVERIFY(!program.form.isVisible());
}

QTEST_MAIN(tst_endurance)
#include "tst_endurance.moc"
