// Runs one recursive search, or its preview, through the main window, as a person's click
// would, so that the benchmark can compare the window's cost (its runner thread, the table
// filling as the rows come) with the command line's.
// Aufruf: trawlex-bench-window ORT BEGRIFF MASKE BERICHT [--ignore-case] [--offen-lassen]
//         [--zeiten] [--reaktion] [--vorschau ERSATZ]
// With --vorschau the window previews replacing the term by ERSATZ instead of searching, and
// says on stderr how many files its results list holds at the end.
// With --offen-lassen the window stays open afterwards, to be looked at; with --zeiten it says
// how long sorting the results by each column and filtering them take, on stderr; with
// --reaktion it says how long the window's thread was kept from its events during the search
// (a timer due every 5 ms: how late its ticks came, and how much of that was the window's own
// work rather than a wait for a processor), and how often the table grew.

#include "gui/Form1Window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTimer>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

// The processor time the calling thread has used, in microseconds.
long long ThreadMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<long long>(now.tv_sec) * 1'000'000 + now.tv_nsec / 1000;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    std::setlocale(LC_ALL, "");
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() < 5) {
        std::fputs(
            "Aufruf: trawlex-bench-window ORT BEGRIFF MASKE BERICHT [--ignore-case] "
            "[--offen-lassen] [--zeiten] [--reaktion] [--vorschau ERSATZ]\n",
            stderr);
        return 2;
    }
    trawlex::Form1Window window;
    window.WindowUi().SetMessageHook([](const QString& text, trawlex::MessageIcon) {
        std::fputs((text + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
    });
    window.Form_Load("/nonexistent/Trawlex.INI");
    const qsizetype previewAt = arguments.indexOf(QStringLiteral("--vorschau"));
    if (previewAt > 0 && previewAt + 1 >= arguments.size()) {
        std::fputs("--vorschau braucht den Ersatzbegriff.\n", stderr);
        return 2;
    }
    trawlex::Form1& form = window.Record();
    if (previewAt > 0) {
        form.TexErsatzbegriff = arguments[previewAt + 1];
    }
    form.TexSuchort.text = arguments[1];
    form.TexSuchbegriff.text = arguments[2];
    form.ComDateifilter.text = arguments[3];
    form.TexZieldatei = arguments[4];
    form.CheckRekursiv = 1;
    trawlex::SelectCaseObserved(form, !arguments.contains(QStringLiteral("--ignore-case")));
    window.WriteWidgets();
    window.show();
    const bool keepOpen = arguments.contains(QStringLiteral("--offen-lassen"));

    // The window's thread answers the person only between its events: a tick that comes late
    // was kept waiting by the work the window did meanwhile.
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(5);
    QElapsedTimer sinceTick;
    QElapsedTimer searchClock;
    std::vector<qint64> gaps;
    qint64 longestGap = 0;
    qint64 longestGapAt = 0;  // ms after the click
    // A gap is either work on the window's thread or a wait for a processor (on a busy machine);
    // the thread's own processor time between two ticks is the work alone.
    long long workAtTick = 0;
    long long longestWork = 0;
    int tableGrowths = 0;
    if (arguments.contains(QStringLiteral("--reaktion"))) {
        QObject::connect(&probe, &QTimer::timeout, &window, [&] {
            gaps.push_back(sinceTick.restart());
            const long long work = ThreadMicroseconds();
            longestWork = std::max(longestWork, work - workAtTick);
            workAtTick = work;
            if (gaps.back() > longestGap) {
                longestGap = gaps.back();
                longestGapAt = searchClock.elapsed();
            }
        });
        QObject::connect(&window.ShownResults(), &QAbstractItemModel::rowsInserted, &window,
                         [&] { ++tableGrowths; });
        sinceTick.start();
        workAtTick = ThreadMicroseconds();
        probe.start();
    }
    searchClock.start();
    // The search runs on the window's runner; what follows waits for its end in the event loop.
    QObject::connect(&window, &trawlex::Form1Window::commandFinished, &window, [&] {
        if (probe.isActive()) {
            probe.stop();
            std::sort(gaps.begin(), gaps.end());
            const auto at = [&gaps](double share) {
                return gaps.empty() ? 0
                                    : gaps[std::min(gaps.size() - 1,
                                                    static_cast<std::size_t>(
                                                        share * static_cast<double>(gaps.size())))];
            };
            const QString report =
                QStringLiteral(
                    "Suche %1 ms, %2 Zeilen; Abstand der 5-ms-Ticks: Median %3 ms, "
                    "99. Perzentil %4 ms, größter %5 ms (endete %6 ms nach dem Klick; %7 Ticks); "
                    "Tabelle %8-mal gewachsen; längste Arbeit des Fensters zwischen zwei "
                    "Ticks %9 ms\n")
                    .arg(searchClock.elapsed())
                    .arg(window.ShownResults().rowCount())
                    .arg(at(0.5))
                    .arg(at(0.99))
                    .arg(longestGap)
                    .arg(longestGapAt)
                    .arg(gaps.size())
                    .arg(tableGrowths)
                    .arg(QLocale().toString(static_cast<double>(longestWork) / 1000.0, 'f', 1));
            std::fputs(report.toLocal8Bit().constData(), stderr);
        }
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
        if (previewAt > 0) {
            std::fputs(QStringLiteral("Vorschau: %1 Dateien in der Liste\n")
                           .arg(window.ShownResults().rowCount())
                           .toLocal8Bit()
                           .constData(),
                       stderr);
        }
        if (!keepOpen) {
            QApplication::quit();
        }
    });
    window
        .findChild<QPushButton*>(previewAt > 0 ? QStringLiteral("butVorschau")
                                               : QStringLiteral("butSuchen"))
        ->click();
    return QApplication::exec();
}
