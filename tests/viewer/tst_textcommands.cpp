#include "app/mdlExecuteLite.h"
#include "viewer/WindowTest.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTreeView>

using namespace Qt::StringLiterals;

/** The body pane's pop-up over board 3 (short name QA) and its one or two messages. */
class TestTextCommands : public WindowTest
{
    Q_OBJECT

    QList<QUrl> m_opened;

    void storeMessage(int id, const QString &subject, const QString &body)
    {
        CMessage m;
        m.BBS_ID = 3;
        m.ID = id;
        m.Subject = subject;
        m.PostName = u"名無し"_s;
        m.PostDate = CMessage::WallClock(QDate(2024, 5, 1), QTime(12, 0));
        m.Body = body;
        store({m});
    }

    /** Selects the pane's text from the start of @p first to the end of @p last. */
    void selectInPane(const QString &first, const QString &last)
    {
        auto *pane = child<QPlainTextEdit>(u"rtbView"_s);
        QTextCursor cursor = pane->document()->find(first);
        QVERIFY(!cursor.isNull());
        const QTextCursor end = pane->document()->find(last);
        QVERIFY(!end.isNull());
        cursor.setPosition(end.selectionEnd(), QTextCursor::KeepAnchor);
        pane->setTextCursor(cursor);
    }

    QMenu *openTextMenu()
    {
        emit child<QPlainTextEdit>(u"rtbView"_s)->customContextMenuRequested(QPoint(5, 5));
        return child<QMenu>(u"mnuText"_s);
    }

    void trigger(const QString &name)
    {
        QAction *item = child<QAction>(name);
        QVERIFY2(item, qPrintable(name));
        item->trigger();
        child<QMenu>(u"mnuText"_s)->close();
    }

    QString clipboard() const { return QApplication::clipboard()->text(); }

private slots:
    void initTestCase() { setPrompter(&m_prompter); }

    void init()
    {
        prepareHome("[Option]\r\nBBS_ID=3\r\nReadTiming=0\r\n"
                    "[WebSearch]\r\n&Beta=http://b.example/?q=%s&n=1\r\n&Alpha=http://a.example/%s\r\n");
        sql(u"UPDATE BBS SET ShortName = 'QA' WHERE BBS_ID = 3"_s);
        m_opened.clear();
        mdlExecuteLite::setShellOpenHandler([this](const QUrl &url) {
            m_opened.append(url);
            return true;
        });
    }

    void cleanup()
    {
        closeWindow();
        mdlExecuteLite::setShellOpenHandler({});
    }

    void noPopUpWithoutASelection()
    {
        storeMessage(1, u"題名"_s, u"本文"_s);
        QVERIFY(startWindow());
        QVERIFY(!openTextMenu()->isVisible());
    }

    void copyWithHeaderQuotesEveryLine()
    {
        storeMessage(42, u"Re: x"_s, u"line one\r\nline two"_s);
        QVERIFY(startWindow());
        selectInPane(u"line one"_s, u"line two"_s);
        openTextMenu();
        trigger(u"mnuTextCopyHeader"_s);
        QCOMPARE(clipboard(), u"QA#42 Re: x より引用\r\n> line one\r\n> line two"_s);
    }

    void copyKeepsTheLineBreaksOfTheBody()
    {
        storeMessage(1, u"題名"_s, u"line one\r\nline two"_s);
        QVERIFY(startWindow());
        selectInPane(u"line one"_s, u"line two"_s);
        openTextMenu();
        trigger(u"mnuTextCopy"_s);
        QCOMPARE(clipboard(), u"line one\r\nline two"_s);
    }

    void headerNumberHasNoLeadingZeros()
    {
        storeMessage(120, u"題名"_s, u"本文"_s);
        QVERIFY(startWindow());
        QCOMPARE(m_window->Lists().lsvMsgList(0).CellText(0, MessageListModel::ColID), u"000120"_s);
        mdlOption::ReplyHeader = u"[%I]"_s;
        selectInPane(u"本文"_s, u"本文"_s);
        openTextMenu();
        trigger(u"mnuTextCopyHeader"_s);
        QCOMPARE(clipboard(), u"[120]"_s);
    }

    void headerWithoutASelectedRowHasNoNumber()
    {
        storeMessage(7, u"題名"_s, u"本文"_s);
        QVERIFY(startWindow());
        selectInPane(u"本文"_s, u"本文"_s);
        m_window->lsvMsgList(0)->clearSelection();
        mdlOption::ReplyHeader = u"[%I]%b"_s;
        openTextMenu();
        trigger(u"mnuTextCopyHeader"_s);
        QCOMPARE(clipboard(), u"[]本文"_s);
    }

    void webSearchesFollowTheSettingsFileOrder()
    {
        storeMessage(1, u"題名"_s, u"本文"_s);
        QVERIFY(startWindow());
        selectInPane(u"本文"_s, u"本文"_s);
        QVERIFY(openTextMenu()->isVisible());
        QCOMPARE(child<QAction>(u"mnuTextWebSearch(0)"_s)->text(), u"&Beta"_s);
        QCOMPARE(child<QAction>(u"mnuTextWebSearch(1)"_s)->text(), u"&Alpha"_s);
        QVERIFY(child<QAction>(u"mnuTextWebSearchSeparator"_s)->isVisible());
    }

    void webSearchOpensTheEncodedSelection()
    {
        storeMessage(1, u"題名"_s, u"検索 a&b"_s);
        QVERIFY(startWindow());
        selectInPane(u"検索 a&b"_s, u"検索 a&b"_s);
        openTextMenu();
        trigger(u"mnuTextWebSearch(0)"_s);
        QCOMPARE(m_opened.size(), 1);
        QCOMPARE(m_opened.first().toEncoded(), QByteArray("http://b.example/?q=%8C%9F%8D%F5%20a%26b&n=1"));
    }

    void emptyWebSearchSectionGivesNoItems()
    {
        prepareHome("[Option]\r\nBBS_ID=3\r\n[WebSearch]\r\n");
        storeMessage(1, u"題名"_s, u"本文"_s);
        QVERIFY(startWindow());
        selectInPane(u"本文"_s, u"本文"_s);
        QVERIFY(openTextMenu()->isVisible());
        QVERIFY(!child<QAction>(u"mnuTextWebSearch(0)"_s));
        QVERIFY(!child<QAction>(u"mnuTextWebSearchSeparator"_s)->isVisible());
    }

    void addressCommandOpensOnlyWebAndMailAddresses_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("opened");
        QTest::newRow("www without scheme") << u"www.example.jp/a"_s << u"http://www.example.jp/a"_s;
        QTest::newRow("broken over two lines") << u"https://example.jp/\r\nlong"_s << u"https://example.jp/long"_s;
        QTest::newRow("mail") << u"mailto:someone@example.jp"_s << u"mailto:someone@example.jp"_s;
        QTest::newRow("file address") << u"file:///etc/passwd"_s << QString();
        QTest::newRow("local path") << u"/usr/bin/xterm"_s << QString();
        QTest::newRow("other scheme") << u"javascript:alert(1)"_s << QString();
    }

    void addressCommandOpensOnlyWebAndMailAddresses()
    {
        QFETCH(QString, body);
        QFETCH(QString, opened);
        storeMessage(1, u"題名"_s, body);
        QVERIFY(startWindow());
        const QStringList lines = body.split(u"\r\n"_s);
        selectInPane(lines.first(), lines.last());
        openTextMenu();
        trigger(u"mnuTextURL"_s);
        QCOMPARE(m_opened.isEmpty() ? QString() : m_opened.first().toString(), opened);
        QCOMPARE(m_prompter.records().size(), opened.isEmpty() ? 1 : 0);
    }

    void bodySearchFindsASelectionOverTwoLines()
    {
        storeMessage(1, u"題名"_s, u"line one\r\nline two"_s);
        storeMessage(2, u"題名"_s, u"line one"_s);
        QVERIFY(startWindow());
        m_window->ShowMessage(0, m_window->Lists().lsvMsgList(0).RowOf(3, 1), false);
        selectInPane(u"line one"_s, u"line two"_s);
        m_window->ShowSQLHook = [](const QString &sql) { return sql; };
        openTextMenu();
        trigger(u"mnuTextFind"_s);
        QCOMPARE(m_window->Lists().lsvMsgList(1).rowCount(), 1);
        QCOMPARE(m_window->Lists().lsvMsgList(1).Message(0).ID, 1);
    }

    void bodySearchFillsTheFindBoxAndTheLastQuery()
    {
        storeMessage(1, u"題名"_s, u"needle"_s);
        QVERIFY(startWindow());
        selectInPane(u"needle"_s, u"needle"_s);
        m_window->ShowSQLHook = [](const QString &sql) { return sql; };
        openTextMenu();
        trigger(u"mnuTextFind"_s);
        QCOMPARE(child<QComboBox>(u"cmbFindText"_s)->currentText(), u"needle"_s);
        QCOMPARE(m_window->LastQuery(), frmView::QueryTemplate(3, u"needle"_s));
    }

    void cancelledBodySearchKeepsTheLastQuery()
    {
        storeMessage(1, u"題名"_s, u"needle"_s);
        QVERIFY(startWindow());
        m_window->ShowSQLHook = [](const QString &sql) { return sql; };
        m_window->QueryLoop(u"SELECT * FROM Message"_s);
        selectInPane(u"needle"_s, u"needle"_s);
        m_window->ShowSQLHook = [](const QString &) { return QString(); };
        openTextMenu();
        trigger(u"mnuTextFind"_s);
        QCOMPARE(m_window->LastQuery(), u"SELECT * FROM Message"_s);
    }
};

QTEST_MAIN(TestTextCommands)
#include "tst_textcommands.moc"
