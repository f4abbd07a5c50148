#include "KeyboardFlow.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QKeySequence>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>

namespace trawlex {
namespace {

struct ButtonKeys {
    const char16_t* name;
    const char16_t* caption;  // the same words, with "&" before the Alt key's letter
    const char16_t* tooltip;
};

// The main commands, each with a letter of its own; the buttons that share a caption with them
// keep theirs without one, so that no two Alt keys clash.
constexpr ButtonKeys kButtonKeys[] = {
    {u"butSuchen", u"&Suchen",
     u"Sucht den Suchbegriff in den Dateien des Suchorts (Enter im Suchbegriff, Alt+S)"},
    {u"butErsetzen", u"&Ersetzen",
     u"Ersetzt den Suchbegriff durch den Ersatzbegriff in den Dateien des Suchorts (Alt+E)"},
    {u"butVorschau", u"&Vorschau",
     u"Zeigt, was \u201EErsetzen\u201C \u00E4ndern w\u00FCrde, ohne etwas zu schreiben (Alt+V)"},
    {u"butR\u00FCckg\u00E4ngig", u"&R\u00FCckg\u00E4ngig",
     u"Nimmt die letzte Ersetzung zur\u00FCck (Alt+R)"},
    {u"butSuchprofilausf\u00FChren", u"&Ausf\u00FChren",
     u"Sucht alle Begriffe des Suchprofils und schreibt ihren Bericht; \u00E4ndert keine Datei "
     u"(Alt+A)"},
    {u"butErsatzprofileAusf\u00FChren", u"A&usf\u00FChren",
     u"Ersetzt alle Paare des Ersatzprofils in den Dateien des Suchorts; die Dateien werden "
     u"ge\u00E4ndert (Alt+U)"},
    {u"butErsatzprofilVorschau", u"Vorschau",
     u"Zeigt, was das Ersatzprofil \u00E4ndern w\u00FCrde, ohne etwas zu schreiben"},
    {u"ButHelp", u"&Hilfe", u"Die Hilfeseite, mit allen Tasten des Fensters (Alt+H)"},
    {u"ComSaveIni", u"&INI-Datei speichern",
     u"Speichert die Eingaben, die Listen und die Gr\u00F6\u00DFen des Fensters (Alt+I)"},
    {u"butSuchenSonderzeichen", u"Suchen", u"Sucht das Zeichen mit diesem Code"},
    {u"butErsetzenSonderzeichen", u"Ersetzen",
     u"Ersetzt das Zeichen durch das Zeichen des Ersatzcodes; die Dateien werden ge\u00E4ndert"},
    {u"butKombinationenSuchen", u"Suchen", u"Sucht die Zeilenumbruch-Kombination"},
    {u"butKombinationenErsetzen", u"Ersetzen",
     u"Ersetzt die Kombination durch die Ersatzcodes; die Dateien werden ge\u00E4ndert"},
};

void GiveButtonsTheirKeys(QWidget& window) {
    for (const ButtonKeys& keys : kButtonKeys) {
        auto* button = window.findChild<QPushButton*>(QString::fromUtf16(keys.name));
        if (button == nullptr) {
            continue;
        }
        button->setText(QString::fromUtf16(keys.caption));
        button->setToolTip(QString::fromUtf16(keys.tooltip));
    }
}

QShortcut* AddShortcut(QWidget& window, const QKeySequence& keys,
                       const std::function<void()>& action) {
    auto* shortcut = new QShortcut(keys, &window);
    QObject::connect(shortcut, &QShortcut::activated, &window, action);
    return shortcut;
}

}  // namespace

QShortcut* InstallKeyboardFlow(const KeyTargets& targets) {
    GiveButtonsTheirKeys(targets.window);
    QComboBox& term = targets.term;
    QPushButton& search = targets.search;
    // Enter on an entry chosen in the list of earlier terms takes the entry; Enter on the typed
    // text searches.
    QObject::connect(term.lineEdit(), &QLineEdit::returnPressed, &search, [&term, &search] {
        const QCompleter* offers = term.completer();
        if (offers != nullptr && offers->popup()->isVisible() &&
            offers->popup()->currentIndex().isValid()) {
            return;
        }
        if (offers != nullptr) {
            offers->popup()->hide();
        }
        if (search.isEnabled()) {
            search.click();
        }
    });
    AddShortcut(targets.window, QKeySequence::Find, [&term] {
        term.setFocus(Qt::ShortcutFocusReason);
        term.lineEdit()->selectAll();
    });
    AddShortcut(targets.window, QKeySequence(Qt::Key_F3), [step = targets.stepHit] { step(+1); });
    AddShortcut(targets.window, QKeySequence(Qt::SHIFT | Qt::Key_F3),
                [step = targets.stepHit] { step(-1); });
    // Outside a run Esc belongs to the focused field.
    QShortcut* stop = AddShortcut(targets.window, QKeySequence(Qt::Key_Escape), targets.stop);
    stop->setEnabled(false);
    return stop;
}

}  // namespace trawlex
