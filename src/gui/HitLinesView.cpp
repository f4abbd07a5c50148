#include "HitLinesView.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QTextBlock>
#include <QTextCursor>

#include <array>

namespace trawlex {
namespace {

// The names of the control characters 0 to 31, as ASCII gives them.
constexpr std::array<const char*, 32> kControlNames = {
    "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
    "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
    "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};

bool IsControlPicture(QChar character) {
    const char16_t code = character.unicode();
    return (code >= 0x2400 && code < 0x2420) || code == 0x2421;
}

// The marked hits stay readable in a light and in a dark palette.
QTextCharFormat MarkedFormat() {
    QTextCharFormat marked;
    marked.setBackground(QColor(255, 220, 80));
    marked.setForeground(Qt::black);
    return marked;
}

}  // namespace

HitLinesView::HitLinesView(QWidget* parent) : QPlainTextEdit(parent) {
    setObjectName(QStringLiteral("Fundzeilen"));
    setReadOnly(true);
    // The arrow keys move from line to line, as F3 does.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setPlaceholderText(
        QStringLiteral("Eine Zeile der Ergebnisse w\u00E4hlen: hier stehen dann die Zeilen der "
                       "Datei mit ihren Fundstellen. F3 und Umschalt+F3 gehen von Zeile zu "
                       "Zeile, Enter oder ein Doppelklick \u00F6ffnet die Datei an der Zeile."));
}

QString HitLinesView::ControlName(QChar picture) {
    if (!IsControlPicture(picture)) {
        return {};
    }
    const char16_t code = picture.unicode();
    return code == 0x2421 ? QStringLiteral("DEL")
                          : QString::fromLatin1(kControlNames[code - 0x2400]);
}

void HitLinesView::Reset() {
    clear();
    lineNumbers_.clear();
    marks_.clear();
    chosen_ = -1;
    setExtraSelections({});
}

void HitLinesView::ShowNote(const QString& note) {
    Reset();
    QTextCursor cursor(document());
    QTextCharFormat muted;
    muted.setForeground(palette().color(QPalette::PlaceholderText));
    cursor.insertText(note, muted);
}

void HitLinesView::Fill(const Result<FileHitLines>& lines, const QString& shownPath) {
    Reset();
    if (!lines) {
        ShowNote(lines.message());
        return;
    }
    QTextCursor cursor(document());
    const QTextCharFormat plain;
    QTextCharFormat number;
    number.setForeground(palette().color(QPalette::PlaceholderText));
    const QTextCharFormat marked = MarkedFormat();
    // Asked once per fill: a file's lines may hold thousands of pieces.
    const QFontMetrics metrics(font());
    const std::vector<HitLine>& shown = lines->lines;
    const int width =
        shown.empty() ? 1 : static_cast<int>(QString::number(shown.back().number).size());
    for (const HitLine& line : shown) {
        if (!lineNumbers_.empty()) {
            cursor.insertBlock();
        }
        lineNumbers_.push_back(line.number);
        cursor.insertText(QStringLiteral("%1  ").arg(line.number, width), number);
        qsizetype at = 0;
        for (const HitLine::Mark& mark : line.marks) {
            InsertShown(cursor, line.text.mid(at, mark.start - at), plain, metrics);
            const int begin = cursor.position();
            InsertShown(cursor, line.text.mid(mark.start, mark.length), marked, metrics);
            marks_.push_back({static_cast<int>(lineNumbers_.size()) - 1, begin, cursor.position()});
            at = mark.start + mark.length;
        }
        InsertShown(cursor, line.text.mid(at), plain, metrics);
    }
    if (shown.empty()) {
        cursor.insertText(QStringLiteral("Die Fundstellen von \u201E%1\u201C stehen nicht mehr "
                                         "in der Datei.")
                              .arg(shownPath),
                          plain);
    }
    if (lines->moreLines > 0) {
        cursor.insertBlock();
        cursor.insertText(QStringLiteral("\u2026 und %1 weitere Zeilen mit Fundstellen, hier "
                                         "nicht gezeigt.")
                              .arg(QLocale().toString(static_cast<qlonglong>(lines->moreLines))),
                          number);
    }
    moveCursor(QTextCursor::Start);
    const Placement placement = std::exchange(placement_, Placement::None);
    if (!lineNumbers_.empty() && placement != Placement::None) {
        Choose(placement == Placement::First ? 0 : static_cast<int>(lineNumbers_.size()) - 1);
    }
}

// A control picture the font cannot draw would be an empty box; its short name is shown
// instead, muted, so that it does not read as the file's text.
void HitLinesView::InsertShown(QTextCursor& cursor, const QString& text,
                               const QTextCharFormat& format, const QFontMetrics& metrics) {
    QTextCharFormat token = format;
    if (!format.hasProperty(QTextFormat::BackgroundBrush)) {
        token.setForeground(palette().color(QPalette::PlaceholderText));
    }
    token.setFontItalic(true);
    qsizetype from = 0;
    for (qsizetype index = 0; index < text.size(); ++index) {
        if (!IsControlPicture(text[index]) || metrics.inFontUcs4(text[index].unicode())) {
            continue;
        }
        cursor.insertText(text.mid(from, index - from), format);
        cursor.insertText(ControlName(text[index]), token);
        from = index + 1;
    }
    cursor.insertText(text.mid(from), format);
}

bool HitLinesView::Step(int direction) {
    if (lineNumbers_.empty()) {
        return false;
    }
    const int count = static_cast<int>(lineNumbers_.size());
    const int next = chosen_ < 0 ? (direction > 0 ? 0 : count - 1) : chosen_ + direction;
    if (next < 0 || next >= count) {
        return false;
    }
    Choose(next);
    return true;
}

void HitLinesView::Choose(int block) {
    chosen_ = block;
    QTextCursor cursor(document()->findBlockByNumber(block));
    setTextCursor(cursor);
    QTextEdit::ExtraSelection line;
    line.cursor = cursor;
    line.format.setBackground(palette().color(QPalette::Highlight));
    line.format.setForeground(palette().color(QPalette::HighlightedText));
    line.format.setProperty(QTextFormat::FullWidthSelection, true);
    // The chosen line's colour would cover its hits: they are marked again on top of it.
    QList<QTextEdit::ExtraSelection> selections{line};
    for (const ShownMark& mark : marks_) {
        if (mark.block != block) {
            continue;
        }
        QTextEdit::ExtraSelection hit;
        hit.cursor = QTextCursor(document());
        hit.cursor.setPosition(mark.begin);
        hit.cursor.setPosition(mark.end, QTextCursor::KeepAnchor);
        hit.format = MarkedFormat();
        selections.append(hit);
    }
    setExtraSelections(selections);
    ensureCursorVisible();
}

std::int64_t HitLinesView::ChosenLine() const {
    if (lineNumbers_.empty()) {
        return 0;
    }
    const int block = chosen_ >= 0 ? chosen_ : textCursor().blockNumber();
    return block >= 0 && static_cast<std::size_t>(block) < lineNumbers_.size()
               ? lineNumbers_[static_cast<std::size_t>(block)]
               : lineNumbers_.front();
}

void HitLinesView::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && ChosenLine() > 0) {
        Q_EMIT openLine(ChosenLine());
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
    // Moving with the arrow keys chooses the line the cursor goes to.
    const int block = textCursor().blockNumber();
    if (block != chosen_ && static_cast<std::size_t>(block) < lineNumbers_.size()) {
        Choose(block);
    }
}

// The pane's own double click would select a word.
void HitLinesView::mouseDoubleClickEvent(QMouseEvent* event) {
    const int block = cursorForPosition(event->position().toPoint()).blockNumber();
    if (block >= 0 && static_cast<std::size_t>(block) < lineNumbers_.size()) {
        Choose(block);
        Q_EMIT openLine(lineNumbers_[static_cast<std::size_t>(block)]);
    }
}

}  // namespace trawlex
