#include "Form1Window.h"
#include "app/Settings.h"

#include <QApplication>

#include <clocale>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    // The engine formats dates and numbers through the C library, which must follow the
    // person's regional settings rather than the "C" locale a program starts in.
    std::setlocale(LC_ALL, "");
    QApplication::setApplicationName(QStringLiteral("Trawlex"));

    trawlex::Form1Window window;
    window.Form_Load(trawlex::SettingsFilePath());
    window.show();
    return QApplication::exec();
}
