// The captions' font is missing: run under a fontconfig set-up that offers
// only DejaVu (FONTCONFIG_FILE, set by ctest), the window falls back to a
// sans-serif face at the sizes it asks for, shows its results and runs as
// ever.

#include "tst_release_support.h"

#include <QFontInfo>

using namespace sesame;
using namespace sesame::testing;

class tst_faults_fonts : public QObject
{
    Q_OBJECT

private slots:
    void captionsFallBackToSans_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("pixels");
        QTest::addColumn<bool>("bold");
        for (const FormLayout::Control &control : FormLayout::Controls)
            if (control.points > 0)
                QTest::newRow(control.name.toString().toLatin1())
                    << control.name.toString() << FormLayout::fontPixels(control.points) << control.bold;
    }

    // DejaVu Sans: fontconfig's sans serif when nothing nearer the asked-for
    // face is there.
    void captionsFallBackToSans()
    {
        QFETCH(QString, name);
        QFETCH(int, pixels);
        QFETCH(bool, bold);
        ProgramWindow program;
        const QFontInfo face(program.form.findChild<QWidget *>(name)->font());
        QCOMPARE(face.family(), QStringLiteral("DejaVu Sans"));
        QCOMPARE(face.pixelSize(), pixels);
        QCOMPARE(face.bold(), bold);
    }

    void runsShowTheirResults()
    {
        ProgramWindow program;
        QVERIFY(QTest::qWaitForWindowExposed(&program.form));
        for (const int button : CountButtons)
            QCOMPARE(program.run(button), QString());
        program.click(InitButton);
        QVERIFY(program.captionsCleared());
    }
};

QTEST_MAIN(tst_faults_fonts)
#include "tst_faults_fonts.moc"
