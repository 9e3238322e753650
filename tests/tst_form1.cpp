#include "app/Form1Events.h"
#include "window/Form1.h"
#include "window/PictureBox.h"

#include <QAccessible>
#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>

#include <iterator>

using namespace sesame;

namespace {

// Where every visible control must sit, in pixels from the client area's
// top-left, with its caption and font (pixel size 0: the control has no font
// of its own). A null caption stands for the notice, whose wording may change.
struct Place
{
    const char *name;
    QRect rect;
    const char16_t *caption;
    int pixelSize;
    bool bold;
};

const Place Places[] = {
    {"Picture1", {24, 64, 527, 423}, u"", 0, false},
    {"Command1", {24, 496, 66, 41}, u"10", 16, true},
    {"Command2", {104, 496, 72, 41}, u"100", 16, true},
    {"Command3", {184, 496, 79, 41}, u"1,000", 16, true},
    {"Command4", {272, 496, 86, 41}, u"10,000", 16, true},
    {"Command7", {368, 496, 86, 41}, u"50,000", 16, true},
    {"Command6", {464, 496, 86, 41}, u"Init", 16, true},
    {"Command5", {64, 584, 73, 33}, u"Exit", 19, true},
    {"Label1", {288, 576, 33, 25}, u"pi\uff1d", 19, true},
    {"Label2", {328, 576, 129, 25}, u"", 19, true},
    {"Label3", {32, 552, 289, 17}, u"Number of sesame seeds in a circle\uff1d", 16, true},
    {"Label4", {328, 552, 121, 17}, u"", 16, true},
    {"Label5", {24, 16, 433, 25}, u"Sesame seeds inside the circle are displayed in blue !", 15, true},
    {"Label6", {312, 600, 185, 17}, nullptr, 15, false},
    {"Label7", {24, 40, 521, 25}, u"pi = 4\u00d7(Number of sesame seeds in a circle)\u00f7(Total number of them) ", 15,
     true},
    {"Picture2", {496, 584, 42, 41}, u"", 0, false},
};

bool hasBlack(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == 0xff000000u)
                return true;
    return false;
}

// A button's or label's text; picture boxes have none.
QString caption(const QWidget *widget)
{
    return widget->property("text").toString();
}

// The window with its handlers, shown and active.
struct Fixture
{
    Form1 form;
    Form1Events events{form};

    bool showActive()
    {
        form.show();
        form.activateWindow();
        return QTest::qWaitForWindowActive(&form);
    }
};

} // namespace

class TestForm1 : public QObject
{
    Q_OBJECT

private slots:
    void controls_data()
    {
        QTest::addColumn<int>("row");
        for (int row = 0; row < int(std::size(Places)); ++row)
            QTest::newRow(Places[row].name) << row;
    }

    void controls()
    {
        QFETCH(int, row);
        const Place &place = Places[row];
        Fixture fixture;
        QVERIFY(fixture.showActive());
        auto *widget = fixture.form.findChild<QWidget *>(QString::fromLatin1(place.name));
        QVERIFY(widget && widget->isVisible());
        QCOMPARE(widget->geometry(), place.rect);

        // Assistive tools know a control by its caption, a picture by a name.
        const QString text = caption(widget);
        const QString accessibleName = QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
        if (place.pixelSize == 0) {
            QVERIFY(!accessibleName.isEmpty());
            return;
        }
        if (place.caption)
            QCOMPARE(text, QString::fromUtf16(place.caption));
        else
            QVERIFY(!text.trimmed().isEmpty());
        if (!text.trimmed().isEmpty())
            QCOMPARE(accessibleName, text.trimmed());
        QCOMPARE(widget->font().pixelSize(), place.pixelSize);
        QCOMPARE(widget->font().bold(), place.bold);

        // The caption fits its box as drawn: a button draws it inside the
        // style's contents rectangle.
        int room = widget->width();
        if (auto *button = qobject_cast<QPushButton *>(widget)) {
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button).width();
        }
        const int advance = QFontMetrics(widget->font()).horizontalAdvance(text.trimmed());
        QVERIFY2(advance <= room, qPrintable(QStringLiteral("%1 px of text in %2 px").arg(advance).arg(room)));

        if (!QFontDatabase::families().contains(QStringLiteral("IPAPGothic")))
            QSKIP("IPAPGothic is not installed (fonts-ipafont-gothic)");
        QCOMPARE(QFontInfo(widget->font()).family(), QStringLiteral("IPAPGothic"));
    }

    void window()
    {
        Fixture fixture;
        QVERIFY(fixture.showActive());
        Form1 &form = fixture.form;
        QCOMPARE(form.windowTitle(), QStringLiteral("Scatter sesame seeds to find an approximate value of pi !"));
        QCOMPARE(form.geometry(), QRect(358, 68, 570, 636));
        QCOMPARE(form.picture1()->contentsRect(), QRect(2, 2, 523, 419));
        QCOMPARE(form.picture2()->pixmap().size(), QSize(42, 41));

        // The media control takes no room: its area belongs to the board.
        for (const QWidget *widget : form.findChildren<QWidget *>(QStringLiteral("MMControl1")))
            QVERIFY(!widget->isVisible());
        const QPoint mediaCentre(168 + 118, 432 + 16);
        QCOMPARE(form.childAt(mediaCentre), form.picture1());
        QCOMPARE(QApplication::widgetAt(form.mapToGlobal(mediaCentre)), form.picture1());
    }

    void tabOrder()
    {
        Fixture fixture;
        QVERIFY(fixture.showActive());
        QCOMPARE(QApplication::focusWidget(), fixture.form.picture1());
        const QStringList expected{"Command1", "Command2", "Command3", "Command4", "Command5",
                                   "Picture2", "Command6", "Command7", "Picture1"};
        QStringList visited;
        for (qsizetype i = 0; i < expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(visited, expected);
        for (const QLabel *label : fixture.form.findChildren<QLabel *>())
            if (label != fixture.form.picture2())
                QCOMPARE(label->focusPolicy(), Qt::NoFocus);
    }

    void keysOnBoard_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Return") << int(Qt::Key_Return);
        QTest::newRow("Enter") << int(Qt::Key_Enter);
        QTest::newRow("Escape") << int(Qt::Key_Escape);
    }

    // No button answers Enter or Escape: there is no default button.
    void keysOnBoard()
    {
        QFETCH(int, key);
        Fixture fixture;
        Form1 &form = fixture.form;
        QVERIFY(fixture.showActive());
        QTRY_VERIFY(hasBlack(form.picture1()->board().surface().image()));
        const QImage before = form.picture1()->board().surface().image();

        QTest::keyClick(form.picture1(), Qt::Key(key));
        QTest::keyClick(form.picture1(), Qt::Key(key), Qt::ControlModifier);
        QCoreApplication::processEvents();
        QVERIFY(form.isVisible());
        QCOMPARE(form.label(2)->text(), QString());
        QCOMPARE(form.label(4)->text(), QString());
        QCOMPARE(form.picture1()->board().surface().image(), before);
        for (const QPushButton *button : form.findChildren<QPushButton *>())
            QVERIFY2(!button->isDefault() && !button->autoDefault(), qPrintable(button->objectName()));
    }

    void resizeAndMaximise()
    {
        Fixture fixture;
        Form1 &form = fixture.form;
        QVERIFY(fixture.showActive());
        form.resize(1000, 900);
        form.showMaximized();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCoreApplication::processEvents();
        for (const Place &place : Places) {
            const auto *widget = form.findChild<QWidget *>(QString::fromLatin1(place.name));
            QVERIFY(widget);
            QCOMPARE(widget->geometry(), place.rect);
        }
        QCOMPARE(form.picture1()->board().surface().image().size(), QSize(523, 419));
    }
};

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
