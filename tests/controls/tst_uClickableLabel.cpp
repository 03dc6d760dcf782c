#include "app/mdlExecuteLite.h"
#include "controls/uClickableLabel.h"

#include <QLabel>
#include <QTest>

using namespace Qt::StringLiterals;

/** The window uses mail and web links (its tests click bare addresses and web addresses). */
class TestClickableLabel : public QObject
{
    Q_OBJECT

    std::unique_ptr<uClickableLabel> m_label;
    QList<QUrl> m_opened;

private slots:
    void init()
    {
        m_opened.clear();
        mdlExecuteLite::setShellOpenHandler([this](const QUrl &url) { return m_opened.append(url), true; });
        m_label = std::make_unique<uClickableLabel>();
        m_label->resize(200, 20);
        m_label->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_label.get()));
    }

    void cleanup()
    {
        m_label.reset();
        mdlExecuteLite::setShellOpenHandler({});
    }

    // A click opens the address once: not on a release outside, not again after a double-click,
    // and a "mailto:" address without a second "mailto:".
    void linkOpensOnce()
    {
        m_label->setClickableMode(uClickableLabel::MailLink);
        m_label->Label()->setText(u"mailto:me@example.jp"_s);
        QTest::mousePress(m_label.get(), Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(m_label.get(), Qt::LeftButton, {}, QPoint(500, 5));
        QVERIFY(m_opened.isEmpty());
        QTest::mouseClick(m_label.get(), Qt::LeftButton);
        QTest::mouseDClick(m_label.get(), Qt::LeftButton);
        QTest::mouseRelease(m_label.get(), Qt::LeftButton);
        QCOMPARE(m_opened, QList<QUrl>{QUrl(u"mailto:me@example.jp"_s)});
    }
};

QTEST_MAIN(TestClickableLabel)
#include "tst_uClickableLabel.moc"
