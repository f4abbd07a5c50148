#include "Form1Window.h"
#include "app/Settings.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <clocale>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    // The engine formats dates and numbers through the C library, which must follow the
    // person's regional settings rather than the "C" locale a program starts in.
    std::setlocale(LC_ALL, "");
    QApplication::setApplicationName(QStringLiteral("Trawlex"));
    // The window speaks German, and so do the file dialogs and the buttons of the message boxes
    // where Qt's own German texts are installed; without them those stay in English.
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_de"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtTexts);
    }

    trawlex::Form1Window window;
    window.Form_Load(trawlex::SettingsFilePath());
    window.show();
    return QApplication::exec();
}
