#include "Form1.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName("nation-editor");
    QApplication::setApplicationName("nation-editor");
    Form1 form;
    form.show();
    // nation-editor PATH: the file the player opened the editor with.
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1)
        form.LoadWhenShown(QFile::encodeName(QFileInfo(arguments.at(1)).absoluteFilePath()).toStdString());
    return application.exec();
}
