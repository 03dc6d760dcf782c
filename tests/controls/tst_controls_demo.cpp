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
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

// The controls in states worth seeing: bars placed, a completion under way, a link under the mouse.
std::unique_ptr<QWidget> buildDemoWindow()
{
    auto window = std::make_unique<QWidget>();
    auto *layout = new QVBoxLayout(window.get());
    auto *findText = new QComboBox;
    auto *history = new CMRUCombo(findText);
    history->setComboBox(findText);
    for (const QString &text : {u"select"_s, u"selection"_s, u"setting"_s, u"掲示板"_s})
        history->AddMRU(text);
    layout->addWidget(findText);

    auto *spins = new QWidget;
    auto *form = new QFormLayout(spins);
    for (const QString &caption : {u"一度に表示する件数(&M):"_s, u"タイムアウト(ロック):"_s, u"受信間隔(無効):"_s}) {
        auto *spin = new uSpinButton;
        spin->setValue(30);
        spin->setLocked(form->rowCount() == 1);
        spin->setEnabled(form->rowCount() != 2);
        form->addRow(caption, spin);
    }
    auto *sep = new uSeparator;
    auto *right = new uSeparator;
    right->setAspect(uSeparator::Horizontal);
    right->Initialize(spins, new QTextEdit(u"本文の欄です。境界線をドラッグして大きさを変えられます。"_s));
    sep->Initialize(new QListWidget, right);
    layout->addWidget(sep, 1);

    auto *status = new QStatusBar;
    for (const int mode : {uClickableLabel::WebLink, uClickableLabel::MailLink, uClickableLabel::PlainLabel}) {
        auto *label = new uClickableLabel;
        label->setClickableMode(mode);
        label->Label()->setText(QStringList{u"普通のラベル"_s, u"http://example.jp/"_s, u"me@example.jp"_s}.at(mode));
        status->addWidget(label);
    }
    layout->addWidget(status);
    window->resize(820, 480);
    window->show();

    sep->MoveBar(25);
    right->MoveBar(45);
    findText->setEditText(QString());
    findText->setFocus();
    QTest::keyClicks(findText->lineEdit(), u"sel"_s);
    auto *link = status->findChild<uClickableLabel *>(); // the web link
    const QPointF at = link->mapToGlobal(QPointF(5, 5));
    QEnterEvent enter(QPointF(5, 5), at, at);
    QCoreApplication::sendEvent(link, &enter);
    return window;
}

} // namespace

class TestControlsDemo : public QObject
{
    Q_OBJECT

private slots:
    void windowBuilds()
    {
        auto window = buildDemoWindow();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCOMPARE(window->findChild<QComboBox *>()->currentText(), u"select"_s);
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
    const qsizetype at = args.indexOf(u"--screenshot"_s);
    if (at >= 0 && at + 1 < args.size()) {
        QTimer::singleShot(500, &app, [&window, file = args.at(at + 1)] {
            window->grab().save(file, "PNG");
            QApplication::quit();
        });
    }
    return app.exec();
}

#include "tst_controls_demo.moc"
