#include "app/mdlApp.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream(stdout) << mdlApp::GetAppTitle() << Qt::endl;
    return 0;
}
