#include "app/mdlExecuteLite.h"
#include "controls/uClickableLabel.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

class TestClickableLabel : public QObject
{
    Q_OBJECT

    std::unique_ptr<uClickableLabel> m_label;
    QList<QUrl> m_opened;

    QColor textColor() const { return m_label->Label()->palette().color(QPalette::WindowText); }

private slots:
    void init()
    {
        m_opened.clear();
        mdlExecuteLite::setShellOpenHandler([this](const QUrl &url) { return m_opened.append(url), true; });
        QCursor::setPos(QPoint(900, 900)); // away from where the label appears
        m_label = std::make_unique<uClickableLabel>();
        m_label->resize(200, 20);
        m_label->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_label.get()));
    }

    void cleanup() { m_label.reset(); mdlExecuteLite::setShellOpenHandler({}); }

    // A mail link opens its "mailto:" address once and raises no Click (the window tests open
    // web and bare mail addresses).
    void mailLinkOpensOnce()
    {
        m_label->setClickableMode(uClickableLabel::MailLink);
        m_label->Label()->setText(u"mailto:me@example.jp"_s);
        QSignalSpy click(m_label.get(), &uClickableLabel::Click);
        QTest::mouseClick(m_label.get(), Qt::LeftButton);
        QCOMPARE(m_opened, QList<QUrl>{QUrl(u"mailto:me@example.jp"_s)});
        QCOMPARE(click.size(), 0);
    }

    void plainLabelClicksAndLinkHover()
    {
        m_label->setClickableMode(uClickableLabel::PlainLabel);
        m_label->Label()->setText(u"http://example.jp/"_s);
        QSignalSpy click(m_label.get(), &uClickableLabel::Click);
        QSignalSpy dblClick(m_label.get(), &uClickableLabel::DblClick);
        QTest::mousePress(m_label.get(), Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(m_label.get(), Qt::LeftButton, {}, QPoint(500, 5)); // outside: no click
        QTest::mouseClick(m_label.get(), Qt::LeftButton);
        QTest::mouseDClick(m_label.get(), Qt::LeftButton); // one click and one double-click in all
        QTest::mouseRelease(m_label.get(), Qt::LeftButton);
        QCOMPARE(click.size(), 1);
        QCOMPARE(dblClick.size(), 1);
        QVERIFY(m_opened.isEmpty()); // a plain label opens nothing
        m_label->setClickableMode(uClickableLabel::WebLink); // a link turns blue under the mouse
        QTest::mouseMove(m_label.get(), QPoint(5, 5));
        QTRY_COMPARE(textColor(), QColor(Qt::blue));
    }
};

QTEST_MAIN(TestClickableLabel)
#include "tst_uClickableLabel.moc"
