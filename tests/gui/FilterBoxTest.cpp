#include "WindowDriver.h"

#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>

namespace trawlex {

class FilterBoxTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The box says how many filters are in force and marks them, and the search honours them.
    void filtersInForceShowAndReachTheSearch() {
        QTemporaryDir location;
        QTemporaryDir output;
        QVERIFY(QDir(location.path()).mkpath(QStringLiteral("node_modules")));
        WriteFile(location.filePath(QStringLiteral("seite.htm")), "Fund");
        WriteFile(location.filePath(QStringLiteral("node_modules/paket.htm")), "Fund");
        WriteFile(location.filePath(QStringLiteral("fundstelle.htm")), "Fundstelle");
        Form1Window window;
        QStringList messages;
        Prepare(window, messages);
        auto* box = Control<QGroupBox>(window, QStringLiteral("FrameFilter"));
        QCOMPARE(box->title(), QStringLiteral("Filter: keiner aktiv"));
        Control<QLineEdit>(window, QStringLiteral("TexOrdnerAuslassen"))
            ->setText(QStringLiteral("node_modules"));
        Control<QCheckBox>(window, QStringLiteral("CheckGanzesWort"))->setChecked(true);
        QCOMPARE(box->title(), QStringLiteral("Filter: 2 aktiv"));
        QVERIFY(Control<QLabel>(window, QStringLiteral("LabTexOrdnerAuslassen"))->font().bold());
        QVERIFY(!Control<QLabel>(window, QStringLiteral("LabTexAusnahmen"))->font().bold());

        const QString report = output.filePath(QStringLiteral("bericht.htm"));
        Control<QCheckBox>(window, QStringLiteral("CheckRekursiv"))->setChecked(true);
        EnterSearch(window,
                    {location.path(), QStringLiteral("Fund"), QStringLiteral("*.htm"), report});
        ClickSearch(window);
        QCOMPARE(ShownColumn(window, 1), QStringLiteral("seite.htm"));
        QVERIFY(ReadAll(report).contains("Ordner auslassen:"));
    }
};

}  // namespace trawlex

QTEST_MAIN(trawlex::FilterBoxTest)
#include "FilterBoxTest.moc"
