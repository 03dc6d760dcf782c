#include "app/mdlApp.h"

#include <QApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(mdlApp::ProductName));
    QTextStream(stdout) << mdlApp::GetAppTitle() << Qt::endl;
    return 0;
}
