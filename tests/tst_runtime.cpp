#include "runtime/NumberText.h"
#include "runtime/Palette.h"
#include "runtime/RandomSource.h"
#include "runtime/Timer.h"

#include <QTest>

#include <ctime>

using namespace sesame;

class TestRuntime : public QObject
{
    Q_OBJECT

private slots:
    void numberText_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("all inside") << 4.0 << "4";
        QTest::newRow("none inside") << 0.0 << "0";
        QTest::newRow("8 of 10") << 4.0 * 8 / 10 << "3.2";
        QTest::newRow("7853 of 10000") << 4.0 * 7853 / 10000 << "3.1412";
        QTest::newRow("39270 of 50000") << 4.0 * 39270 / 50000 << "3.1416";
        QTest::newRow("39271 of 50000") << 4.0 * 39271 / 50000 << "3.14168";
        QTest::newRow("1 of 50000, no exponent") << 4.0 * 1 / 50000 << "0.00008";
        QTest::newRow("below one") << 0.4 << "0.4";
        QTest::newRow("15 significant digits") << 4.0 / 3 << "1.33333333333333";
        QTest::newRow("rounding carries") << 3.9999999999999996 << "4";
    }

    // The same texts whatever the user's locale: captions always use '.'.
    void numberText()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(NumberText(value), text);
        QCOMPARE(NumberText(125627LL), QStringLiteral("125627"));
        QLocale::setDefault(QLocale::c());
    }

    // Same seed number, same sequence; a clock tick apart, another one.
    void randomSource()
    {
        RandomSource a, b;
        a.Randomize(43210.5f);
        b.Randomize(43210.5f);
        QList<std::uint32_t> first, second, third;
        for (int i = 0; i < 100; ++i) {
            first << a.RndBits();
            second << b.RndBits();
        }
        QCOMPARE(first, second);
        b.Randomize(43210.5f + 1.0f / 128);
        for (int i = 0; i < 100; ++i)
            third << b.RndBits();
        QVERIFY(first != third);
        QVERIFY(*std::max_element(first.begin(), first.end()) < (1u << 24));
    }

    // Local midnight, not UTC's: ctest runs this in a zone nine hours east.
    void timer()
    {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        const double expected = local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
        if (expected > 86395)
            QSKIP("too close to midnight");
        const double timer = Timer();
        QVERIFY2(timer >= expected - 1 && timer <= expected + 2, qPrintable(QString::number(timer - expected)));
    }

    void palette()
    {
        QCOMPARE(QBColor(0), 0x000000u);
        QCOMPARE(QBColor(9), 0x0000ffu);
        QCOMPARE(QBColor(12), 0xff0000u);
    }
};

QTEST_APPLESS_MAIN(TestRuntime)
#include "tst_runtime.moc"
