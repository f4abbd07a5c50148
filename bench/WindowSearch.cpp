// Runs one recursive search through the main window, as a person's click would, so that the
// benchmark can compare the window's cost (its event-loop yields) with the command line's.
// Aufruf: trawlex-bench-window ORT BEGRIFF MASKE BERICHT [--ignore-case] [--offen-lassen]
// With --offen-lassen the window stays open afterwards, to be looked at.

#include "gui/Form1Window.h"

#include <QApplication>
#include <QPushButton>

#include <clocale>
#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    std::setlocale(LC_ALL, "");
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() < 5) {
        std::fputs(
            "Aufruf: trawlex-bench-window ORT BEGRIFF MASKE BERICHT [--ignore-case] "
            "[--offen-lassen]\n",
            stderr);
        return 2;
    }
    trawlex::Form1Window window;
    window.WindowUi().SetMessageHook([](const QString& text, trawlex::MessageIcon) {
        std::fputs((text + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
    });
    window.Form_Load("/nonexistent/Trawlex.INI");
    trawlex::Form1& form = window.Record();
    form.TexSuchort.text = arguments[1];
    form.TexSuchbegriff.text = arguments[2];
    form.ComDateifilter.text = arguments[3];
    form.TexZieldatei = arguments[4];
    form.CheckRekursiv = 1;
    trawlex::SelectCaseObserved(form, !arguments.contains(QStringLiteral("--ignore-case")));
    window.WriteWidgets();
    window.show();
    window.findChild<QPushButton*>(QStringLiteral("butSuchen"))->click();
    return arguments.contains(QStringLiteral("--offen-lassen")) ? QApplication::exec() : 0;
}
