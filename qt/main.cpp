#include "Form1.h"

#include <QApplication>

#include <filesystem>
#include <system_error>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    // Where Qt keeps the remembered folder: ~/.config/nation-editor/.
    QApplication::setOrganizationName("nation-editor");
    QApplication::setApplicationName("nation-editor");
    Form1 form;
    form.show();
    // nation-editor PATH: the file the player opened the editor with, as the
    // bytes it was given: a folder named in Latin-1 is no UTF-8, and Qt's
    // text would lose it.
    if (argc > 1) {
        std::error_code error;
        const std::filesystem::path absolute = std::filesystem::absolute(argv[1], error);
        form.LoadWhenShown(error ? std::string(argv[1]) : absolute.string());
    }
    return application.exec();
}
