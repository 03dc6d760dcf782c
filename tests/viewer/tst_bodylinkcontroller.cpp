#include "app/mdlExecuteLite.h"
#include "viewer/BodyLinkController.h"
#include "viewer/BodyRenderer.h"
#include "viewer/WindowTest.h"

#include <QTextBlock>

using namespace Qt::StringLiterals;

/**
 * The body pane's links over board 3, whose messages 1 to 5 each answer the one before
 * (message n says ">>n-1"); message 6 holds addresses, 7 a long line. The page lists 6 and 7.
 */
class TestBodyLinks : public WindowTest
{
    Q_OBJECT

    ManualOneShotTimer m_previewTimer;
    QStringList m_opened;

    bool start(int shownID)
    {
        QList<CMessage> messages;
        for (int id = 1; id <= 5; ++id)
            messages.append(message(3, id, u"一行目 >>%1\r\n二行目"_s.arg(id - 1)));
        messages.append(message(3, 6, u"見て http://a.jp/x。と ttp://b.jp と >>9"_s));
        messages.append(message(3, 7, u"長い行 "_s + QString(9000, u'a') + u" http://c.jp"_s));
        for (CMessage &m : messages)
            m.RootThread = m.ID;
        store(messages);
        if (!startWindow())
            return false;
        m_window->Links().SetPreviewTimer(m_previewTimer);
        mdlExecuteLite::setShellOpenHandler([this](const QUrl &url) {
            m_opened.append(url.toString());
            return true;
        });
        m_window->ShowMessage(0, list(0).RowOf(3, shownID), false);
        return true;
    }

    /** Puts @p text into the pane as a body of message 7 would go in. */
    void showText(const QString &text) { BodyRenderer::Render(*pane(), text); }

    QString currentKey() { return list(m_window->Lists().CurrentList()).Key(list(m_window->Lists().CurrentList()).CurrentRow()); }

    /** Where @p text (its first character) stands in @p edit. */
    static int positionOf(QPlainTextEdit *edit, const QString &text) { return edit->document()->find(text).selectionStart(); }

    /** A point of @p edit's viewport inside the characters of @p text. */
    static QPoint pointOf(QPlainTextEdit *edit, const QString &text)
    {
        QTextCursor cursor(edit->document());
        cursor.setPosition(positionOf(edit, text) + 1);
        return edit->cursorRect(cursor).center();
    }

    static QTextCharFormat formatAt(QPlainTextEdit *edit, int position)
    {
        QTextCursor cursor(edit->document());
        cursor.setPosition(position + 1);
        return cursor.charFormat();
    }

    static void send(QPlainTextEdit *edit, QEvent::Type type, const QPoint &at)
    {
        QMouseEvent event(type, at, edit->viewport()->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, {});
        QApplication::sendEvent(edit->viewport(), &event);
    }

    static void click(QPlainTextEdit *edit, const QString &text)
    {
        send(edit, QEvent::MouseButtonPress, pointOf(edit, text));
        send(edit, QEvent::MouseButtonRelease, pointOf(edit, text));
    }

    /** Rests the pointer on @p text of @p edit until its preview shows. */
    void rest(QPlainTextEdit *edit, const QString &text)
    {
        send(edit, QEvent::MouseMove, pointOf(edit, text));
        m_previewTimer.Advance(BodyLinkController::PreviewDelay);
    }

    QList<QPlainTextEdit *> previews() const { return m_window->Links().Previews(); }

private slots:
    void init()
    {
        prepareHome("[Option]\r\nBBS_ID=3\r\nAddMax=2\r\nReadTiming=60000\r\n");
        m_opened.clear();
    }
    void cleanup()
    {
        closeWindow();
        mdlExecuteLite::setShellOpenHandler({});
    }

    void linksAreDrawnAsLinks_data()
    {
        QTest::addColumn<int>("shown");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("href");
        QTest::newRow("address") << 6 << u"http://a.jp/x"_s << u"http://a.jp/x"_s;
        QTest::newRow("dropped letters") << 6 << u"ttp://b.jp"_s << u"http://b.jp"_s;
        QTest::newRow("anchor") << 6 << u">>9"_s << u">>9-9"_s;
        QTest::newRow("after a long line's cut") << 7 << u"http://c.jp"_s << u"http://c.jp"_s;
    }

    void linksAreDrawnAsLinks()
    {
        QFETCH(int, shown);
        QFETCH(QString, text);
        QFETCH(QString, href);
        QVERIFY(start(shown));
        const QTextCharFormat format = formatAt(pane(), positionOf(pane(), text));
        QCOMPARE(format.anchorHref(), href);
        QVERIFY(format.fontUnderline());
        QCOMPARE(format.foreground().color(), pane()->palette().color(QPalette::Link));
        QCOMPARE(formatAt(pane(), positionOf(pane(), text) + text.size()).anchorHref(), QString());
    }

    void pointerIsAHandOverLinks()
    {
        QVERIFY(start(6));
        send(pane(), QEvent::MouseMove, pointOf(pane(), u"http://a.jp"_s));
        QCOMPARE(pane()->viewport()->cursor().shape(), Qt::PointingHandCursor);
        send(pane(), QEvent::MouseMove, pointOf(pane(), u"見て"_s));
        QCOMPARE(pane()->viewport()->cursor().shape(), Qt::IBeamCursor);
    }

    void clickOpensTheAddress()
    {
        QVERIFY(start(6));
        click(pane(), u"ttp://b.jp"_s);
        QCOMPARE(m_opened, QStringList{u"http://b.jp"_s});
    }

    void clickOnAnAnchorShowsItsMessage_data()
    {
        QTest::addColumn<QString>("anchor");
        QTest::addColumn<int>("currentList");
        QTest::addColumn<QStringList>("prompts");
        QTest::newRow("listed: its row") << u">>6"_s << 0 << QStringList();
        QTest::newRow("not listed: its thread in list 1") << u">>2"_s << 1 << QStringList();
        QTest::newRow("not stored: said so") << u">>9"_s << 0 << QStringList{u"未取得のメッセージです"_s};
    }

    void clickOnAnAnchorShowsItsMessage()
    {
        QFETCH(QString, anchor);
        QFETCH(int, currentList);
        QFETCH(QStringList, prompts);
        QVERIFY(start(7));
        showText(u"see "_s + anchor);
        click(pane(), anchor);
        QCOMPARE(m_window->Lists().CurrentList(), currentList);
        QCOMPARE(m_prompter.texts(), prompts);
        if (prompts.isEmpty())
            QCOMPARE(currentKey(), CMessage::MakeKey(3, anchor.mid(2).toInt()));
    }

    void tabMovesBetweenLinks_data()
    {
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<QString>("selected");
        QTest::newRow("Tab") << QList<int>{Qt::Key_Tab} << u"http://a.jp/x"_s;
        QTest::newRow("Tab Tab") << QList<int>{Qt::Key_Tab, Qt::Key_Tab} << u"ttp://b.jp"_s;
        QTest::newRow("Tab Tab Shift+Tab") << QList<int>{Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Backtab} << u"http://a.jp/x"_s;
    }

    void tabMovesBetweenLinks()
    {
        QFETCH(QList<int>, keys);
        QFETCH(QString, selected);
        QVERIFY(start(6));
        pane()->setFocus();
        for (int key : keys)
            QTest::keyClick(pane(), Qt::Key(key), key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
        QCOMPARE(pane()->textCursor().selectedText(), selected);
        QCOMPARE(pane()->accessibleDescription(), u"リンク: "_s + selected);
    }

    void enterOpensTheFocusedLink()
    {
        QVERIFY(start(6));
        QTest::keyClick(pane(), Qt::Key_Tab);
        QTest::keyClick(pane(), Qt::Key_Return);
        QCOMPARE(m_opened, QStringList{u"http://a.jp/x"_s});
    }

    void previewShowsAfterTheDelay()
    {
        QVERIFY(start(7));
        showText(u">>4"_s);
        send(pane(), QEvent::MouseMove, pointOf(pane(), u">>4"_s));
        QCOMPARE(m_previewTimer.Interval(), 300);
        QCOMPARE(previews().size(), 0);
        m_previewTimer.Advance(300);
        QCOMPARE(previews().size(), 1);
        QCOMPARE(previews().first()->toPlainText(), u"4  題名4\n  2024/05/01 12:04:00\n一行目 >>3\n二行目\n"_s);
    }

    void previewText_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<QString>("text");
        QTest::newRow("not stored") << 9 << 9 << u"9\r\n未取得のメッセージです"_s;
        QTest::newRow("range") << 1 << 2
                               << u"1  題名1\r\n  2024/05/01 12:01:00\r\n一行目 >>0\r\n二行目\r\n\r\n"
                                  u"2  題名2\r\n  2024/05/01 12:02:00\r\n一行目 >>1\r\n二行目"_s;
    }

    void previewText()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(QString, text);
        QVERIFY(start(7));
        QCOMPARE(m_window->Links().PreviewText(3, from, to), text);
    }

    void previewsNestFiveDeep()
    {
        QVERIFY(start(7));
        showText(u">>5"_s);
        rest(pane(), u">>5"_s);
        for (int id = 4; id >= 0; --id)
            rest(previews().last(), u">>%1"_s.arg(id));
        QCOMPARE(previews().size(), BodyLinkController::MaxPreviews);
        QVERIFY(!m_previewTimer.IsActive());
    }

    void escapeClosesThePreviews()
    {
        QVERIFY(start(7));
        showText(u">>4"_s);
        rest(pane(), u">>4"_s);
        rest(previews().last(), u">>3"_s);
        QTest::keyClick(pane(), Qt::Key_Escape);
        QCOMPARE(previews().size(), 0);
        QVERIFY(!m_window->isMinimized());
    }

    void leavingClosesTheDeepestPreview()
    {
        QVERIFY(start(7));
        showText(u">>4"_s);
        rest(pane(), u">>4"_s);
        rest(previews().last(), u">>3"_s);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(previews().last()->parentWidget(), &leave);
        QCOMPARE(previews().size(), 1);
    }
};

QTEST_MAIN(TestBodyLinks)
#include "tst_bodylinkcontroller.moc"
