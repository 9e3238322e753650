// The captions' font is missing: run under a fontconfig set-up that offers
// only DejaVu (FONTCONFIG_FILE, set by ctest), the window falls back to a
// sans-serif face at the sizes it asks for, shows its results and runs as
// ever.

#include "tst_release_support.h"
#include "window/FormLayout.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace sesame;
using namespace sesame::testing;

namespace {

const QString FallbackFace = QStringLiteral("DejaVu Sans");

// Pixels of a widget's rendering in its text colour: the caption's ink.
int inkPixels(QWidget *widget)
{
    const QImage image = widget->grab().toImage();
    const QRgb ink = widget->palette().color(widget->foregroundRole()).rgb();
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixel(x, y) == ink;
    return count;
}

} // namespace

class tst_faults_fonts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void captionsFallBackToSans_data();
    void captionsFallBackToSans();
    void runsShowTheirResults();
};

void tst_faults_fonts::initTestCase()
{
    const QStringList families = QFontDatabase::families();
    if (!families.contains(FallbackFace))
        QSKIP("DejaVu Sans is not installed (fonts-dejavu-core)");
    QVERIFY2(!families.contains(FormLayout::SubstituteFace.toString()),
             "the captions' own font is still there: FONTCONFIG_FILE did not take");
}

void tst_faults_fonts::captionsFallBackToSans_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("pixels");
    QTest::addColumn<bool>("bold");
    for (const FormLayout::Control &control : FormLayout::Controls)
        if (control.points > 0)
            QTest::newRow(control.name.toString().toLatin1())
                << control.name.toString() << FormLayout::fontPixels(control.points) << control.bold;
}

void tst_faults_fonts::captionsFallBackToSans()
{
    QFETCH(QString, name);
    QFETCH(int, pixels);
    QFETCH(bool, bold);

    ProgramWindow program;
    auto *widget = program.form.findChild<QWidget *>(name);
    QVERIFY(widget);
    const QFontInfo face(widget->font());
    QCOMPARE(face.family(), FallbackFace);
    QCOMPARE(face.pixelSize(), pixels);
    QCOMPARE(face.bold(), bold);
}

void tst_faults_fonts::runsShowTheirResults()
{
    ProgramWindow program;
    QVERIFY(QTest::qWaitForWindowExposed(&program.form));
    for (const int button : CountButtons) {
        program.click(button);
        const QString problem = captionProblem(program.form, runSizeOf(button));
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QVERIFY(inkPixels(program.form.label(2)) > 0);
        QVERIFY(inkPixels(program.form.label(4)) > 0);
    }
    program.click(InitButton);
    QCOMPARE(inkPixels(program.form.label(2)), 0);
    QCOMPARE(inkPixels(program.form.label(4)), 0);
    QVERIFY(inkPixels(program.form.command(InitButton)) > 0);
}

QTEST_MAIN(tst_faults_fonts)
#include "tst_faults_fonts.moc"
