#include "startup/mdlMain.h"
#include "viewer/MessageBoxPrompter.h"
#include "viewer/frmAbout.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

/** What a user reads in the program's language: Qt's own texts and the About box. */
class TestJapanese : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(mdlMain::LoadQtTranslation()); }

    // A question asked through the real message box shows Qt's standard buttons in Japanese.
    void questionButtons_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("caption");
        QTest::newRow("yes") << int(QMessageBox::Yes) << u"はい(&Y)"_s;
        QTest::newRow("no") << int(QMessageBox::No) << u"いいえ(&N)"_s;
    }

    void questionButtons()
    {
        QFETCH(int, button);
        QFETCH(QString, caption);
        QString shown;
        // The box is answered as soon as it shows; its caption is read first.
        QTimer::singleShot(0, this, [&shown, button] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            shown = box->button(QMessageBox::StandardButton(button))->text();
            box->button(QMessageBox::No)->click();
        });
        MessageBoxPrompter boxes;
        QCOMPARE(boxes.question(u"続けますか？"_s, {Prompter::Yes, Prompter::No}, Prompter::Yes), Prompter::No);
        QCOMPARE(shown, caption);
    }

    void aboutBoxLicence()
    {
        const frmAbout about;
        const auto *licence = about.findChild<QLabel *>(u"lblLicense"_s);
        QVERIFY(licence);
        QVERIFY(licence->text().contains(u"GPL-3.0-or-later"_s));
    }
};

QTEST_MAIN(TestJapanese)
#include "tst_japanese.moc"
