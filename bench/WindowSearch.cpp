// Runs one recursive search through the main window, as a person's click would, so that the
// benchmark can compare the window's cost (its event-loop yields) with the command line's.
// Aufruf: trawlex-bench-window ORT BEGRIFF MASKE BERICHT [--ignore-case] [--offen-lassen]
//         [--zeiten]
// With --offen-lassen the window stays open afterwards, to be looked at; with --zeiten it says
// how long sorting the results by each column and filtering them take, on stderr.

#include "gui/Form1Window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>

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
    if (arguments.contains(QStringLiteral("--zeiten"))) {
        auto* table = window.findChild<QTableView*>(QStringLiteral("Ergebnisse"));
        QElapsedTimer clock;
        QString times = QStringLiteral("%1 Zeilen;").arg(window.ShownResults().rowCount());
        for (int column = 0; column < table->model()->columnCount(); ++column) {
            clock.start();
            table->sortByColumn(column, Qt::DescendingOrder);
            QApplication::processEvents();
            times += QStringLiteral(" Spalte %1: %2 ms").arg(column).arg(clock.elapsed());
        }
        clock.start();
        window.findChild<QLineEdit*>(QStringLiteral("Filter"))->setText(QStringLiteral("7/"));
        QApplication::processEvents();
        times += QStringLiteral("; Filter: %1 ms, %2 Zeilen")
                     .arg(clock.elapsed())
                     .arg(window.ShownResults().rowCount());
        std::fputs((times + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
    }
    return arguments.contains(QStringLiteral("--offen-lassen")) ? QApplication::exec() : 0;
}
