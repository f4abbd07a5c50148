#include "RunLines.h"

#include <QLocale>

namespace trawlex {
namespace {

QString Number(std::int64_t value) {
    return QLocale().toString(static_cast<qlonglong>(value));
}

// "1 Datei", "2 Dateien".
QString Counted(std::int64_t value, const char16_t* one, const char16_t* many) {
    return Number(value) + QLatin1Char(' ') + QString::fromUtf16(value == 1 ? one : many);
}

QString Amount(std::int64_t bytes) {
    const QLocale locale;
    // A few small files would read "0,0 MB".
    if (bytes < 100'000) {
        return locale.toString(static_cast<double>(bytes) / 1e3, 'f', 1) + QStringLiteral(" KB");
    }
    return locale.toString(static_cast<double>(bytes) / 1e6, 'f', 1) + QStringLiteral(" MB");
}

QString FirstLine(const QString& message) {
    return message.section(QLatin1Char('\n'), 0, 0).trimmed();
}

// What a replacement or its preview did, once it has ended.
QString ReplacementLine(const RunTally& tally) {
    const bool preview = tally.kind == ResultsKind::Preview;
    if (tally.rows == 0) {
        return QStringLiteral("Keine Datei %1 (%2 untersucht).")
            .arg(preview ? QStringLiteral("w\u00FCrde ge\u00E4ndert")
                         : QStringLiteral("ge\u00E4ndert"),
                 Counted(tally.progress.files, u"Datei", u"Dateien"));
    }
    const QString done =
        QStringLiteral("%1 %2, %3")
            .arg(Counted(tally.rows, u"Datei", u"Dateien"),
                 preview ? (tally.rows == 1 ? QStringLiteral("w\u00FCrde ge\u00E4ndert")
                                            : QStringLiteral("w\u00FCrden ge\u00E4ndert"))
                         : QStringLiteral("ge\u00E4ndert"),
                 Counted(tally.replacements, u"Ersetzung", u"Ersetzungen"));
    if (preview) {
        return done + QStringLiteral(" \u2013 geschrieben ist noch nichts.");
    }
    return done +
           (tally.journal
                ? QStringLiteral(" \u2013 \u201ER\u00FCckg\u00E4ngig\u201C nimmt sie zur\u00FCck.")
                : QStringLiteral(" \u2013 ohne Protokoll, nicht r\u00FCckg\u00E4ngig zu "
                                 "machen."));
}

}  // namespace

QString ProgressLine(const RunTally& tally) {
    return QStringLiteral("%1, %2, %3")
        .arg(Counted(tally.progress.files, u"Datei", u"Dateien"), Amount(tally.progress.bytes),
             Number(tally.progress.hits) +
                 (tally.kind == ResultsKind::Replacement ? QStringLiteral(" ge\u00E4ndert")
                  : tally.kind == ResultsKind::Preview   ? QStringLiteral(" zu \u00E4ndern")
                                                         : QStringLiteral(" mit Fundstellen")));
}

QString EndLine(const RunTally& tally, CommandOutcome outcome, const QString& message) {
    const QString why = FirstLine(message);
    switch (outcome) {
        case CommandOutcome::Refused:
        case CommandOutcome::Invalid:
            return why.isEmpty() ? QStringLiteral("Nicht ausgef\u00FChrt.")
                                 : QStringLiteral("Nicht ausgef\u00FChrt: ") + why;
        case CommandOutcome::Failed:
            return why.isEmpty() ? QStringLiteral("Abgebrochen.")
                                 : QStringLiteral("Abgebrochen: ") + why;
        default:
            break;
    }
    // A command without files of its own (undo) says in its message what it did.
    if (!tally.began) {
        return why;
    }
    QString line = IsReplacement(tally.kind) ? ReplacementLine(tally) : ProgressLine(tally);
    if (outcome == CommandOutcome::Stopped) {
        line = QStringLiteral("Angehalten: ") + line;
    }
    if (outcome == CommandOutcome::Incomplete) {
        line += QStringLiteral(" Nicht jede Datei konnte bearbeitet werden.");
    }
    return line;
}

}  // namespace trawlex
