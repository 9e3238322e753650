#include "runtime/NumberText.h"
#include "runtime/Palette.h"
#include "runtime/RandomSource.h"
#include "runtime/Timer.h"

#include <QTest>
#include <QTime>

#include <clocale>
#include <cmath>
#include <locale>

using namespace sesame;

namespace {

// A decimal comma for C++ streams, in case the C library has no German locale.
struct CommaPunct : std::numpunct<char>
{
    char do_decimal_point() const override { return ','; }
};

// Correlation of two equally long series of fractions.
double correlation(const std::vector<double> &a, const std::vector<double> &b)
{
    const double n = double(a.size());
    double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        sa += a[i];
        sb += b[i];
        saa += a[i] * a[i];
        sbb += b[i] * b[i];
        sab += a[i] * b[i];
    }
    return (sab / n - sa / n * sb / n) / std::sqrt((saa / n - sa * sa / n / n) * (sbb / n - sb * sb / n / n));
}

} // namespace

class TestRuntime : public QObject
{
    Q_OBJECT

private slots:
    void numberText_data();
    void numberText();
    void numberTextIgnoresLocale();
    void randomSequences();
    void fractions();
    void timer();
    void palette();
};

void TestRuntime::numberText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("whole");
    QTest::addColumn<QString>("text");

    QTest::newRow("zero") << 0.0 << false << "0";
    QTest::newRow("four, whole") << 4.0 << false << "4";
    QTest::newRow("8 of 10") << 4.0 * 8 / 10 << false << "3.2";
    QTest::newRow("7853 of 10000") << 4.0 * 7853 / 10000 << false << "3.1412";
    QTest::newRow("39270 of 50000") << 4.0 * 39270 / 50000 << false << "3.1416";
    QTest::newRow("39271 of 50000") << 4.0 * 39271 / 50000 << false << "3.14168";
    QTest::newRow("1 of 50000, no exponent") << 4.0 * 1 / 50000 << false << "0.00008";
    QTest::newRow("lattice share") << 125627.0 / 160000 * 4 << false << "3.140675";
    QTest::newRow("rounded to 15 digits") << 4.0 / 3 << false << "1.33333333333333";
    QTest::newRow("rounding carries") << 3.9999999999999996 << false << "4";
    QTest::newRow("count 0") << 0.0 << true << "0";
    QTest::newRow("count, no grouping") << 125627.0 << true << "125627";
}

void TestRuntime::numberText()
{
    QFETCH(double, value);
    QFETCH(bool, whole);
    QFETCH(QString, text);
    const std::string actual = whole ? NumberText(static_cast<long long>(value)) : NumberText(value);
    QCOMPARE(QString::fromStdString(actual), text);
}

void TestRuntime::numberTextIgnoresLocale()
{
    const char *german = std::setlocale(LC_ALL, "de_DE.UTF-8");
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaPunct));
    const std::string during = NumberText(3.1416);
    std::locale::global(previous);
    std::setlocale(LC_ALL, "C");
    QCOMPARE(QString::fromStdString(during), QStringLiteral("3.1416"));
    if (!german)
        qInfo("no de_DE.UTF-8 C locale here; checked against a decimal-comma C++ locale only");
}

void TestRuntime::randomSequences()
{
    // The same seed number gives the same sequence, re-seeding restarts it.
    RandomSource a;
    RandomSource b;
    a.Randomize(43210.5f);
    b.Randomize(43210.5f);
    for (int i = 0; i < 1001; ++i)
        QCOMPARE(a.Rnd(), b.Rnd());
    a.Randomize(43210.5f);
    b.Randomize(43210.5f);
    QCOMPARE(a.Rnd(), b.Rnd());

    // Clock readings a tick apart late in the day start unrelated sequences.
    std::vector<double> first;
    std::vector<double> second;
    for (int pair = 0; pair < 50; ++pair) {
        const float t = 80000.0f + float(pair) * 13.0f;
        QVERIFY(t + 1.0f / 128 != t);
        a.Randomize(t);
        b.Randomize(t + 1.0f / 128);
        for (int i = 0; i < 2000; ++i) {
            first.push_back(a.Rnd());
            second.push_back(b.Rnd());
        }
    }
    const double r = correlation(first, second);
    QVERIFY2(std::abs(r) < 0.02, qPrintable(QString::number(r)));
}

void TestRuntime::fractions()
{
    RandomSource random;
    random.Randomize(12345.678f);
    std::vector<double> draws;
    int oddTail = 0;
    for (int i = 0; i < 200000; ++i) {
        const float r = random.Rnd();
        QVERIFY(r >= 0.0f && r < 1.0f);
        const float scaled = r * 16777216.0f;
        QCOMPARE(scaled, std::floor(scaled)); // 24 bits, exact in a float
        oddTail += int(scaled) & 1;
        draws.push_back(r);
    }
    QVERIFY(*std::min_element(draws.begin(), draws.end()) < 0.0001);
    QVERIFY(*std::max_element(draws.begin(), draws.end()) > 0.9999);
    // The lowest of the 24 bits is random too, not stuck.
    QVERIFY(oddTail > 99000 && oddTail < 101000);
    // A seed's x and y, successive fractions, do not track each other.
    const std::vector<double> xs(draws.begin(), draws.end() - 1);
    const std::vector<double> ys(draws.begin() + 1, draws.end());
    QVERIFY(std::abs(correlation(xs, ys)) < 0.01);
}

void TestRuntime::timer()
{
    // Retried across a midnight rather than failed on it.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const double before = QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
        const float timer = Timer();
        const double after = QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
        if (after < before)
            continue;
        // Single precision late in the day is good to about 8 ms.
        QVERIFY2(timer >= before - 0.01 && timer <= after + 0.01,
                 qPrintable(QStringLiteral("%1 not in [%2, %3]").arg(timer).arg(before).arg(after)));
        return;
    }
    QFAIL("the clock kept running backwards");
}

void TestRuntime::palette()
{
    QCOMPARE(QBColor(Black), 0x000000u);
    QCOMPARE(QBColor(LightBlue), 0x0000ffu);
    QCOMPARE(QBColor(LightRed), 0xff0000u);
    QCOMPARE(QBColor(7), 0xc0c0c0u);
    QCOMPARE(QBColor(15), 0xffffffu);
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, QBColor(16));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, QBColor(-1));
}

QTEST_APPLESS_MAIN(TestRuntime)
#include "tst_runtime.moc"
