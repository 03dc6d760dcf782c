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
    static QColor systemTextColor() { return QGuiApplication::palette().color(QPalette::WindowText); }

    void enter() { QTest::mouseMove(m_label.get(), QPoint(5, 5)); }
    void leave() { QTest::mouseMove(m_label.get(), QPoint(m_label->width() + 50, 5)); }

private slots:
    void init()
    {
        m_opened.clear();
        mdlExecuteLite::setShellOpenHandler([this](const QUrl &url) {
            m_opened.append(url);
            return true;
        });
        QCursor::setPos(QPoint(900, 900)); // away from where the label appears
        m_label = std::make_unique<uClickableLabel>();
        m_label->setObjectName(u"uclTest"_s);
        m_label->resize(200, 20);
        m_label->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_label.get()));
    }

    void cleanup()
    {
        m_label.reset();
        mdlExecuteLite::setShellOpenHandler({});
    }

    void defaultsAndCursor()
    {
        QCOMPARE(m_label->ClickableMode(), int(uClickableLabel::WebLink));
        QCOMPARE(m_label->Label()->objectName(), u"lblCaption"_s);
        QCOMPARE(m_label->Label()->geometry(), m_label->rect());
        QCOMPARE(m_label->cursor().shape(), Qt::PointingHandCursor);
        m_label->setClickableMode(uClickableLabel::PlainLabel);
        QCOMPARE(m_label->cursor().shape(), Qt::ArrowCursor);
        m_label->setClickableMode(uClickableLabel::MailLink);
        QCOMPARE(m_label->cursor().shape(), Qt::PointingHandCursor);
    }

    void webLinkOpensCaption()
    {
        m_label->Label()->setText(u"http://example.jp/~me/"_s);
        QSignalSpy click(m_label.get(), &uClickableLabel::Click);
        QTest::mouseClick(m_label.get(), Qt::LeftButton);
        QCOMPARE(m_opened, QList<QUrl>{QUrl(u"http://example.jp/~me/"_s)});
        QCOMPARE(click.size(), 0);
    }

    void mailLinkGetsMailtoOnce_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("opened");
        QTest::newRow("bare address") << u"someone@example.jp"_s << u"mailto:someone@example.jp"_s;
        QTest::newRow("with mailto") << u"mailto:someone@example.jp"_s << u"mailto:someone@example.jp"_s;
    }

    void mailLinkGetsMailtoOnce()
    {
        QFETCH(QString, caption);
        QFETCH(QString, opened);
        m_label->setClickableMode(uClickableLabel::MailLink);
        m_label->Label()->setText(caption);
        QTest::mouseClick(m_label.get(), Qt::LeftButton);
        QCOMPARE(m_opened, QList<QUrl>{QUrl(opened)});
    }

    void linkToLocalProgramIsNotOpened()
    {
        m_label->Label()->setText(u"/usr/bin/xterm"_s);
        QTest::mouseClick(m_label.get(), Qt::LeftButton);
        QVERIFY(m_opened.isEmpty());
    }

    void plainLabelRaisesClickAndDblClick()
    {
        m_label->setClickableMode(uClickableLabel::PlainLabel);
        m_label->Label()->setText(u"http://example.jp/"_s);
        QSignalSpy click(m_label.get(), &uClickableLabel::Click);
        QSignalSpy dblClick(m_label.get(), &uClickableLabel::DblClick);
        QTest::mouseClick(m_label.get(), Qt::LeftButton);
        QTest::mouseClick(m_label.get(), Qt::RightButton);
        QCOMPARE(click.size(), 1);
        // press, release, double-click, release: one click and one double-click
        QTest::mouseDClick(m_label.get(), Qt::LeftButton);
        QTest::mouseRelease(m_label.get(), Qt::LeftButton);
        QCOMPARE(click.size(), 1);
        QCOMPARE(dblClick.size(), 1);
        QVERIFY(m_opened.isEmpty());
    }

    void releaseOutsideIsNoClick()
    {
        m_label->setClickableMode(uClickableLabel::PlainLabel);
        QSignalSpy click(m_label.get(), &uClickableLabel::Click);
        QTest::mousePress(m_label.get(), Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(m_label.get(), Qt::LeftButton, {}, QPoint(500, 5));
        QCOMPARE(click.size(), 0);
    }

    void linkLightsUpWhileHovered()
    {
        QCOMPARE(textColor(), systemTextColor());
        enter();
        QTRY_COMPARE(textColor(), QColor(Qt::blue));
        leave();
        QTRY_COMPARE(textColor(), systemTextColor());
    }

    void plainLabelReportsHover()
    {
        m_label->setClickableMode(uClickableLabel::PlainLabel);
        QSignalSpy entered(m_label.get(), &uClickableLabel::MouseEnter);
        QSignalSpy left(m_label.get(), &uClickableLabel::MouseLeave);
        enter();
        QTRY_COMPARE(entered.size(), 1);
        QCOMPARE(entered.at(0).at(0).toInt(), 5);
        leave();
        QTRY_COMPARE(left.size(), 1);
        QCOMPARE(textColor(), systemTextColor());
    }
};

QTEST_MAIN(TestClickableLabel)
#include "tst_uClickableLabel.moc"
