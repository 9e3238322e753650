#include "runtime/NumberText.h"
#include "runtime/Palette.h"
#include "runtime/RandomSource.h"
#include "runtime/Timer.h"

#include <QTest>
#include <QTime>

#include <clocale>
#include <cmath>
#include <locale>
#include <set>

using namespace sesame;

namespace {

// A decimal comma for C++ streams, in case the C library has no German locale.
struct CommaPunct : std::numpunct<char>
{
    char do_decimal_point() const override { return ','; }
};

} // namespace

class TestRuntime : public QObject
{
    Q_OBJECT

private slots:
    void doubleText_data();
    void doubleText();
    void doubleTextIgnoresLocale();
    void wholeText_data();
    void wholeText();

    void sameSeedSameSequence();
    void nearbySeedsAreUnrelated();
    void fractionsAreInRangeWith24Bits();

    void timerIsSecondsSinceMidnight();

    void palette_data();
    void palette();
};

void TestRuntime::doubleText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("four, whole") << 4.0 << "4";
    QTest::newRow("8 of 10") << 4.0 * 8 / 10 << "3.2";
    QTest::newRow("7853 of 10000") << 4.0 * 7853 / 10000 << "3.1412";
    QTest::newRow("39270 of 50000") << 4.0 * 39270 / 50000 << "3.1416";
    QTest::newRow("39271 of 50000") << 4.0 * 39271 / 50000 << "3.14168";
    QTest::newRow("1 of 50000, no exponent") << 4.0 * 1 / 50000 << "0.00008";
    QTest::newRow("lattice share") << 125627.0 / 160000 * 4 << "3.140675";
    QTest::newRow("below one") << 0.4 << "0.4";
    QTest::newRow("rounded to 15 digits") << 4.0 / 3 << "1.33333333333333";
    QTest::newRow("carry into a new digit") << 3.9999999999999996 << "4";
    QTest::newRow("1 of 3 runs of 10") << 4.0 * 1 / 3 / 10 << "0.133333333333333";
}

void TestRuntime::doubleText()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(NumberText(value)), text);
}

void TestRuntime::doubleTextIgnoresLocale()
{
    const std::string before = NumberText(3.1416);
    const char *german = std::setlocale(LC_ALL, "de_DE.UTF-8");
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaPunct));
    const std::string during = NumberText(3.1416);
    std::locale::global(previous);
    std::setlocale(LC_ALL, "C");
    QCOMPARE(during, before);
    QCOMPARE(QString::fromStdString(during), QStringLiteral("3.1416"));
    if (!german)
        qInfo("no de_DE.UTF-8 C locale here; checked against a decimal-comma C++ locale only");
}

void TestRuntime::wholeText_data()
{
    QTest::addColumn<qlonglong>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0LL << "0";
    QTest::newRow("all of 50000") << 50000LL << "50000";
    QTest::newRow("no grouping") << 125627LL << "125627";
}

void TestRuntime::wholeText()
{
    QFETCH(qlonglong, value);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(NumberText(value)), text);
}

void TestRuntime::sameSeedSameSequence()
{
    RandomSource a;
    RandomSource b;
    a.Randomize(43210.5f);
    b.Randomize(43210.5f);
    for (int i = 0; i < 1000; ++i)
        QCOMPARE(a.Rnd(), b.Rnd());

    // Re-seeding restarts the sequence.
    a.Randomize(43210.5f);
    RandomSource c;
    c.Randomize(43210.5f);
    QCOMPARE(a.Rnd(), c.Rnd());
}

void TestRuntime::nearbySeedsAreUnrelated()
{
    // Two clock readings one tick apart late in the day must not give
    // sequences that track each other.
    constexpr int Pairs = 50;
    constexpr int Draws = 2000;
    double sumProducts = 0;
    double sumA = 0;
    double sumB = 0;
    double sumA2 = 0;
    double sumB2 = 0;
    int equal = 0;
    for (int p = 0; p < Pairs; ++p) {
        const float t = 80000.0f + p * 13.0f;
        RandomSource a;
        RandomSource b;
        a.Randomize(t);
        b.Randomize(t + 1.0f / 128);
        QVERIFY(t + 1.0f / 128 != t);
        for (int i = 0; i < Draws; ++i) {
            const double x = a.Rnd();
            const double y = b.Rnd();
            equal += x == y;
            sumProducts += x * y;
            sumA += x;
            sumB += y;
            sumA2 += x * x;
            sumB2 += y * y;
        }
    }
    const double n = double(Pairs) * Draws;
    const double covariance = sumProducts / n - (sumA / n) * (sumB / n);
    const double correlation
        = covariance / std::sqrt((sumA2 / n - std::pow(sumA / n, 2)) * (sumB2 / n - std::pow(sumB / n, 2)));
    QVERIFY2(std::abs(correlation) < 0.02, qPrintable(QString::number(correlation)));
    QVERIFY2(equal < 20, qPrintable(QString::number(equal)));
}

void TestRuntime::fractionsAreInRangeWith24Bits()
{
    RandomSource random;
    random.Randomize(12345.678f);
    std::set<float> distinct;
    float smallest = 1;
    float largest = 0;
    double previous = 0.5;
    double lagProducts = 0;
    constexpr int Draws = 200000;
    for (int i = 0; i < Draws; ++i) {
        const float r = random.Rnd();
        lagProducts += (r - 0.5) * (previous - 0.5);
        previous = r;
        QVERIFY(r >= 0.0f && r < 1.0f);
        const float scaled = r * 16777216.0f;
        QCOMPARE(scaled, std::floor(scaled));
        smallest = std::min(smallest, r);
        largest = std::max(largest, r);
        if (distinct.size() < 1000)
            distinct.insert(r);
    }
    QCOMPARE(distinct.size(), size_t(1000));
    // Successive fractions (a seed's x and y) do not track each other: the
    // lag-one correlation of uniform fractions is 12 x mean product.
    const double lagCorrelation = 12 * lagProducts / Draws;
    QVERIFY2(std::abs(lagCorrelation) < 0.01, qPrintable(QString::number(lagCorrelation)));
    QVERIFY(smallest < 0.0001f);
    QVERIFY(largest > 0.9999f);
    // The low byte of the fraction's 24 bits is random too, not always zero.
    RandomSource again;
    again.Randomize(1.0f);
    int oddTail = 0;
    for (int i = 0; i < 1000; ++i)
        oddTail += static_cast<int>(again.Rnd() * 16777216.0f) & 1;
    QVERIFY(oddTail > 400 && oddTail < 600);
}

void TestRuntime::timerIsSecondsSinceMidnight()
{
    // Retry across a midnight (or second) boundary rather than fail on it.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const double before = QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
        const float timer = Timer();
        const double after = QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
        if (after < before)
            continue;
        QVERIFY(timer >= 0.0f && timer < 86400.0f);
        // Single precision late in the day is good to about 8 ms.
        QVERIFY2(timer >= before - 0.01 && timer <= after + 0.01,
                 qPrintable(QStringLiteral("%1 not in [%2, %3]").arg(timer).arg(before).arg(after)));
        return;
    }
    QFAIL("the clock kept running backwards");
}

void TestRuntime::palette_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<uint>("rgb");
    QTest::newRow("black") << 0 << 0x000000u;
    QTest::newRow("light blue") << 9 << 0x0000ffu;
    QTest::newRow("light red") << 12 << 0xff0000u;
    QTest::newRow("bright white") << 15 << 0xffffffu;
    QTest::newRow("grey") << 7 << 0xc0c0c0u;
}

void TestRuntime::palette()
{
    QFETCH(int, index);
    QFETCH(uint, rgb);
    QCOMPARE(QBColor(index), rgb);
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, QBColor(16));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, QBColor(-1));
}

QTEST_APPLESS_MAIN(TestRuntime)
#include "tst_runtime.moc"
