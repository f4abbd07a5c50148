#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace trawlex {

// An editable combo box: the text the commands read, typed or chosen, and its list.
struct ComboField {
    QString text;
    QStringList list;
};

enum class StatusColour {
    ButtonFace,
    Orange,  // red 255, green 150, blue 0
};

// The main window's state: every input and setting lives here, named as the window's controls
// are. The window binds its widgets to this record; the command line fills it from options.
// Commands read the fields they need when they run and write their results back.
struct Form1 {
    // Row 1
    ComboField TexSuchort;
    // Row 2
    ComboField TexSuchbegriff;
    // Row 3
    ComboField ComSuchprofile;
    // Row 4
    QString TexErsatzbegriff;
    // Row 5
    ComboField ComErsatzlisten;
    // Row 6: the case options form one group; exactly one is selected.
    bool Optgrossklein = true;
    bool OptIGNORE = false;
    // Beside the case options: the term (and a profile's terms) is a regular expression.
    int CheckRegex = 0;
    ComboField ComDateifilter;
    // Row 7
    int CheckRekursiv = 0;
    QString Status = QStringLiteral("Bereit");
    StatusColour StatusBackground = StatusColour::ButtonFace;
    // Row 8 and 9: the result options form one group; exactly one is selected.
    bool OptZieldatei = true;
    QString TexZieldatei;
    bool OptBrowser = false;
    QString TexBrowser;
    // Row 10
    ComboField ComboSonderzeichenSuchcode;
    ComboField ComboSonderzeichenErsetzcode;
    // Row 11
    ComboField ComboSonderzeichenkombinationSuchbegriff;
    ComboField CombosonderzeichenKombinationErsatzbegriff;

    // Beside the inputs: what every run leaves out beyond the file mask, as typed; empty (or
    // unticked) leaves nothing out.
    QString TexAusnahmen;        // file masks, "*.bak; *~"
    QString TexOrdnerAuslassen;  // directory masks, "node_modules; .git"
    int CheckGanzesWort = 0;
    QString TexGroesseAb;  // "10K"
    QString TexGroesseBis;
    QString TexGeaendertAb;  // "2026-01-01"
    QString TexGeaendertVor;
    int CheckBinaerAuslassen = 0;

    bool Timer1Enabled = false;
    bool BlinkPhase = false;

    QString SearchProfilePath;
    QString ReplaceProfilePath;
    int LocationDialogMode = 0;

    // Undo: whether replacements keep a journal to take them back, and how many runs are kept
    // (the settings value "UndoRuns=").
    bool UndoJournal = true;
    int UndoRuns = 20;

    // The change list a preview writes beside its page, one line per change, and the list
    // "Ausgewählte ersetzen" (apply) makes; empty for none.
    QString ChangesFile;
    // The preview page goes beside the result file, its name with "-Vorschau" before the
    // extension, so that it does not take the search report's place; a page named on the
    // command line is written where it says.
    bool PreviewBesideResult = true;
    // A search writes its report, a preview its page; the command line leaves them out when it
    // prints the results for a script and no report was named.
    bool ReportWritten = true;

    // The program a result opens in, with "{file}" and "{line}" standing for the file and the
    // line (the settings value "Editor="); empty leaves the choice to the desktop.
    QString EditorCommand;

    // What the person used before, newest last, kept by "INI-Datei speichern" up to
    // kHistoryLength entries each: the replacements and the locations of earlier runs (the terms
    // are the list of TexSuchbegriff). The window offers them while the person types.
    QStringList ReplacementHistory;
    QStringList LocationHistory;

    // How the person arranged the window: the heights of the inputs' row and of the results
    // table, and the table's column widths; empty leaves the window's own choice.
    QList<int> SplitterSizes;
    QList<int> ColumnWidths;
};

inline constexpr qsizetype kHistoryLength = 20;

// Adds an entry to the end of a history, once: an entry used again moves to the end.
inline void RememberEntry(QStringList& history, const QString& entry) {
    if (entry.isEmpty()) {
        return;
    }
    history.removeAll(entry);
    history.append(entry);
    if (history.size() > kHistoryLength) {
        history.remove(0, history.size() - kHistoryLength);
    }
}

// Selecting one option of a group deselects the other.
inline void SelectCaseObserved(Form1& form, bool observed) {
    form.Optgrossklein = observed;
    form.OptIGNORE = !observed;
}

inline void SelectBrowserHandOff(Form1& form, bool toBrowser) {
    form.OptBrowser = toBrowser;
    form.OptZieldatei = !toBrowser;
}

}  // namespace trawlex
