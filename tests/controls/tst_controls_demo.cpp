// Shows the custom controls together. Without arguments it is a test that the window builds;
// "--demo" shows the window, "--demo --screenshot FILE" saves it as PNG and quits.
#include "controls/CMRUCombo.h"
#include "controls/uClickableLabel.h"
#include "controls/uSeparator.h"
#include "controls/uSpinButton.h"

#include <QApplication>
#include <QEnterEvent>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QStatusBar>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

uSpinButton *addSpin(QFormLayout *form, const QString &name, const QString &caption, int min, int max,
                     int value)
{
    auto *spin = new uSpinButton;
    spin->setObjectName(name);
    spin->setMin(min);
    spin->setMax(max);
    spin->setValue(value);
    spin->setFixedWidth(90);
    form->addRow(caption, spin);
    return spin;
}

uClickableLabel *addLink(QStatusBar *bar, const QString &name, int mode, const QString &caption)
{
    auto *label = new uClickableLabel;
    label->setObjectName(name);
    label->setClickableMode(mode);
    label->Label()->setText(caption);
    label->setMinimumWidth(220);
    bar->addWidget(label);
    return label;
}

QWidget *spinPanel()
{
    auto *panel = new QWidget;
    auto *form = new QFormLayout(panel);
    addSpin(form, u"uspnAddMax"_s, u"一度に表示する件数(&M):"_s, 1, 1000, 200);
    addSpin(form, u"uspnReadTiming"_s, u"既読にするタイミング(&R):"_s, 0, 10000, 1500);
    addSpin(form, u"uspnTimeout"_s, u"タイムアウトまでの時間(&O):"_s, 0, 1000, 30)->setLocked(true);
    addSpin(form, u"uspnInterval"_s, u"受信間隔(&I):"_s, 10, 120, 10)->setEnabled(false);
    return panel;
}

std::unique_ptr<QWidget> buildDemoWindow()
{
    auto window = std::make_unique<QWidget>();
    window->setObjectName(u"frmControlsDemo"_s);
    window->setWindowTitle(u"Tessera controls"_s);
    auto *layout = new QVBoxLayout(window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *toolBar = new QToolBar;
    toolBar->addWidget(new QLabel(u"検索: "_s));
    auto *findText = new QComboBox;
    findText->setObjectName(u"cmbFindText"_s);
    findText->setMinimumWidth(260);
    toolBar->addWidget(findText);
    auto *history = new CMRUCombo(findText);
    history->setObjectName(u"FindHistory"_s);
    history->setComboBox(findText);
    history->setMax(10);
    for (const QString &text : {u"select"_s, u"selection"_s, u"setting"_s, u"掲示板"_s})
        history->AddMRU(text);
    findText->setEditText(QString());
    layout->addWidget(toolBar);

    auto *sep = new uSeparator;
    sep->setObjectName(u"sep"_s);
    auto *boards = new QListWidget;
    boards->addItems({u"雑談 (12)"_s, u"質問 (3)"_s, u"お知らせ"_s});
    auto *right = new uSeparator;
    right->setObjectName(u"sepRight"_s);
    right->setAspect(uSeparator::Horizontal);
    auto *body = new QTextEdit;
    body->setPlainText(u"本文の欄です。上の枠と境界線をドラッグして大きさを変えられます。"_s);
    right->Initialize(spinPanel(), body);
    sep->Initialize(boards, right);
    layout->addWidget(sep, 1);

    auto *status = new QStatusBar;
    addLink(status, u"uclMailto"_s, uClickableLabel::MailLink, u"mailto:someone@example.jp"_s);
    addLink(status, u"uclHomepage"_s, uClickableLabel::WebLink, u"http://example.jp/~someone/"_s);
    addLink(status, u"uclPlain"_s, uClickableLabel::PlainLabel, u"普通のラベル"_s);
    layout->addWidget(status);

    window->resize(820, 480);
    return window;
}

// Puts the controls into states worth seeing: bars placed, a completion under way,
// a link under the mouse.
void stageDemo(QWidget *window)
{
    window->findChild<uSeparator *>(u"sep"_s)->MoveBar(25);
    window->findChild<uSeparator *>(u"sepRight"_s)->MoveBar(45);
    auto *findText = window->findChild<QComboBox *>(u"cmbFindText"_s);
    findText->setFocus();
    QTest::keyClicks(findText->lineEdit(), u"sel"_s);
    auto *homepage = window->findChild<uClickableLabel *>(u"uclHomepage"_s);
    QEnterEvent enter(QPointF(5, 5), homepage->mapToGlobal(QPointF(5, 5)), homepage->mapToGlobal(QPointF(5, 5)));
    QCoreApplication::sendEvent(homepage, &enter);
}

} // namespace

class TestControlsDemo : public QObject
{
    Q_OBJECT

private slots:
    void windowBuilds()
    {
        auto window = buildDemoWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        stageDemo(window.get());
        QCOMPARE(window->findChild<QComboBox *>(u"cmbFindText"_s)->currentText(), u"select"_s);
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (!args.contains(u"--demo"_s)) {
        TestControlsDemo test;
        return QTest::qExec(&test, argc, argv);
    }
    auto window = buildDemoWindow();
    window->show();
    stageDemo(window.get());
    const qsizetype at = args.indexOf(u"--screenshot"_s);
    if (at >= 0 && at + 1 < args.size()) {
        const QString file = args.at(at + 1);
        QTimer::singleShot(500, &app, [&window, file] {
            window->grab().save(file, "PNG");
            QApplication::quit();
        });
    }
    return app.exec();
}

#include "tst_controls_demo.moc"
